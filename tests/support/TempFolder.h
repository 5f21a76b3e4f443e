// A folder of its own under the system's temporary folder, removed with
// everything in it: test processes of several builds may run at once, so no
// test uses a fixed name in the shared temporary folder.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

struct TempFolder {
    std::filesystem::path path;
    TempFolder()
    {
        std::string t = (std::filesystem::temp_directory_path() / "tavirel-test-XXXXXX").string();
        if (mkdtemp(t.data()))
            path = t;
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};
