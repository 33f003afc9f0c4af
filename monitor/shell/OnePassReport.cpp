// Standard output for the report, and the list's readability.
#include "shell/OnePassReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/FileReplace.h"
#include "engine/MessageText.h"
#include "res/StringTable.h"

namespace tarnwatch {

ReportOutput::ReportOutput(bool divert) {
    if (!divert) return;
    std::fflush(stdout);
    // Close-on-exec: a command left running must not hold the report open,
    // or a monitor reading it would wait for that command to end.
    saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_ >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        close(saved_);
        saved_ = -1;
    }
}

ReportOutput::~ReportOutput() {
    Restore();
}

void ReportOutput::Restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
}

std::string UnreadableList(const MonitorEngine& engine) {
    const LoadReport& load = engine.LastLoad();
    const std::string file = ListFileLocation().listFile;
    const auto because = [&](const std::string& reason) {
        return LoadFormatted(IDS_LIST_UNREADABLE, file, reason);
    };
    if (load.outOfMemory) return because("there is not enough memory to load it");
    if (load.opened) {
        // A header that promises entries the file does not hold.
        return load.readError && engine.Entries().rowCount == 0 ? because("it is cut short") : "";
    }
    // Another user's link in a shared directory is never read through.
    std::string target;
    if (FollowLinks(file, target) == Follow::kUnsafeLink) return because(UnsafeLinkReason(target));
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return errno == ENOENT ? "" : because(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return because("it is not a regular file");
    if (load.readError) return because("it is cut short");
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return because(std::strerror(errno));
    close(fd);
    return "";
}

}  // namespace tarnwatch
