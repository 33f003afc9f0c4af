// A temporary directory with a short path, so that a lock file's whole
// content fits the 256-character buffers the lock family hands it back in.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace qgio {

class ShortDir {
public:
    ShortDir() {
        char name[] = "/tmp/qgXXXXXX";
        path_ = mkdtemp(name) != nullptr ? name : "/tmp";
    }
    ~ShortDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ShortDir(const ShortDir&) = delete;
    ShortDir& operator=(const ShortDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace qgio
