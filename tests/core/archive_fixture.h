// Archives written by the tools into a fresh temporary folder, for the archive and unpack tests.
#pragma once

#include "core/vfs.h"
#include "lib/archive_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// A new folder under the system's temporary folder, removed with its contents.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kro_archive_XXXXXX").string();
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot create a temporary folder";
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The folder as the program names it: the archive folder passed to the engine.
    std::string archive_folder() const { return m_path.string() + "/"; }

  private:
    std::filesystem::path m_path;
};

// Closes the archive when a test ends, whatever it opened.
class ArchiveTest : public ::testing::Test {
  protected:
    void TearDown() override { vfs_close_all(); }

    // Writes both pairs and opens them as the game does.
    void mount(std::span<const ArchiveSource> main_files, std::span<const ArchiveSource> overlay_files,
               BOOL map_overlay = TRUE) {
        ASSERT_TRUE(archive_write_set(m_folder.path(), main_files, overlay_files));
        vfs::Startup(m_folder.archive_folder().c_str());
        ASSERT_EQ(vfs_mount_overlay(map_overlay), S_OK);
    }

    TempFolder m_folder;
};
