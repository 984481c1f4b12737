// Archives written by the tools into a fresh temporary folder, for the archive and unpack tests.
#pragma once

#include "core/vfs.h"
#include "lib/archive_writer.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>

// Closes the archive when a test ends, whatever it opened.
class ArchiveTest : public ::testing::Test {
protected:
    void TearDown() override { vfs_close_all(); }

    // Writes both pairs and opens them as the game does.
    void mount(std::span<const ArchiveSource> main_files, std::span<const ArchiveSource> overlay_files,
               BOOL map_overlay = TRUE)
    {
        ASSERT_TRUE(archive_write_set(m_folder.path(), main_files, overlay_files));
        vfs::Startup(archive_folder().c_str());
        ASSERT_EQ(vfs_mount_overlay(map_overlay), S_OK);
    }

    // The folder as the program names it: the archive folder passed to the engine.
    std::string archive_folder() const { return m_folder.windows() + "\\"; }

    TempFolder m_folder;
};
