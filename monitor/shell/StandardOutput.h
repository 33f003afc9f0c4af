// Standard output of the headless monitor. Its reader may go away or its
// disk may fill up; neither may stop the monitor or pass in silence.
#pragma once

#include <string>
#include <string_view>

namespace tarnwatch {

class StandardOutput {
public:
    // Writes `text` whole, after anything stdio still holds for standard
    // output. False when it could not; the reason is then in error().
    bool Write(std::string_view text);
    const std::string& error() const { return error_; }
    // Writes as Write does; the first failure is told on standard error, and
    // the writes after it go on being tried.
    void WriteOrTellOnce(std::string_view text);

private:
    std::string error_;
    bool told_ = false;
};

// A broken pipe on standard output becomes a failed write instead of the
// end of the program. Programs the monitor starts get the default back.
void IgnoreBrokenPipes();

}  // namespace tarnwatch
