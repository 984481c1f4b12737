// Scoped test surroundings: a temporary folder, an environment variable and the working
// directory, each put back as it was when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kro_test_XXXXXX").string();
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot create a temporary folder";
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string host(const std::string& relative = "") const
    {
        return relative.empty() ? m_path.string() : (m_path / relative).string();
    }
    // The program's form of a path below the folder: backslashes throughout.
    std::string windows(const std::string& relative = "") const
    {
        std::string text = host(relative);
        std::replace(text.begin(), text.end(), '/', '\\');
        return text;
    }

private:
    std::filesystem::path m_path;
};

class EnvOverride {
public:
    EnvOverride(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = getenv(name)) m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvOverride()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class WorkingDirectoryGuard {
public:
    WorkingDirectoryGuard() : m_old(std::filesystem::current_path()) {}
    ~WorkingDirectoryGuard() { std::filesystem::current_path(m_old); }
    WorkingDirectoryGuard(const WorkingDirectoryGuard&) = delete;
    WorkingDirectoryGuard& operator=(const WorkingDirectoryGuard&) = delete;

private:
    std::filesystem::path m_old;
};

inline std::string read_host_file(const std::filesystem::path& path)
{
    std::string text;
    if (FILE* file = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, n);
        fclose(file);
    }
    return text;
}

inline void write_host_file(const std::filesystem::path& path, const std::string& text)
{
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

// The names in a folder, sorted.
inline std::vector<std::string> folder_names(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}
