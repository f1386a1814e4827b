// Helpers shared by the engine tests: scratch folders, environment changes that undo
// themselves, file contents, and folders that present a fake plug-in under the real names.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Platform.h"

namespace kestrel_test {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string strTemplate = (fs::temp_directory_path() / "kestrel-test-XXXXXX").string();
        m_strPath = mkdtemp(strTemplate.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_strPath, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_strPath; }
    std::string operator/(const std::string& c_strName) const {
        return m_strPath + "/" + c_strName;
    }
    std::wstring Wide() const { return shelf::ToWide(m_strPath); }

private:
    std::string m_strPath;
};

class ScopedEnv {
public:
    ScopedEnv(const char* c_pszName, const std::optional<std::string>& c_strValue)
        : m_strName(c_pszName) {
        if (const char* psz = std::getenv(c_pszName)) m_strOld = psz;
        if (c_strValue) {
            setenv(c_pszName, c_strValue->c_str(), 1);
        } else {
            unsetenv(c_pszName);
        }
    }
    ~ScopedEnv() {
        if (m_strOld) {
            setenv(m_strName.c_str(), m_strOld->c_str(), 1);
        } else {
            unsetenv(m_strName.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_strName;
    std::optional<std::string> m_strOld;
};

inline std::string ReadFile(const std::string& c_strPath) {
    std::ifstream in(c_strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& c_strPath, const std::string& c_strContent) {
    std::ofstream(c_strPath, std::ios::binary | std::ios::trunc) << c_strContent;
}

inline std::vector<std::string> ReadLines(const std::string& c_strPath) {
    std::vector<std::string> vstr;
    std::istringstream in(ReadFile(c_strPath));
    for (std::string str; std::getline(in, str);) vstr.push_back(str);
    return vstr;
}

inline std::vector<std::string> FilesIn(const std::string& c_strFolder) {
    std::vector<std::string> vstr;
    for (const auto& c_entry : fs::directory_iterator(c_strFolder)) {
        vstr.push_back(c_entry.path().filename().string());
    }
    return vstr;
}

#ifdef KESTREL_FAKE_DIR
// The fake plug-in built with the given set of exports.
inline std::string FakePath(const std::string& c_strVariant) {
    return std::string(KESTREL_FAKE_DIR) + "/" + c_strVariant + ".so";
}

// A folder in which the fake plug-in answers to the given real library names.
class FakeArchiverDir {
public:
    FakeArchiverDir(const std::string& c_strVariant, std::initializer_list<const char*> c_names)
        : m_env("KESTREL_ARCHIVER_DIR", m_dir.Path()) {
        for (const char* c_pszName : c_names) {
            fs::create_symlink(FakePath(c_strVariant), m_dir / c_pszName);
        }
    }
    const TempDir& Dir() const { return m_dir; }

private:
    TempDir m_dir;
    ScopedEnv m_env;
};
#endif

}  // namespace kestrel_test
