// The test's own audio path; see AudioPath.h.
#include "shell_sound/AudioPath.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarnwatch::test {

namespace {

using namespace std::chrono_literals;

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    }
    return "";
}

// Starts a child that dies with this process, so a test killed half-way
// leaves no sound server behind.
pid_t Spawn(const std::vector<std::string>& args, const std::string& logPath) {
    const std::string program = FindProgram(args[0]);
    if (program.empty()) return -1;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // Only async-signal-safe calls from here on.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0) _exit(127);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
}

// Signals the child and reaps it, killing it outright if it lingers.
void EndChild(pid_t* pid, int sig) {
    if (*pid <= 0) return;
    kill(*pid, sig);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(*pid, nullptr, WNOHANG) == *pid) {
            *pid = -1;
            return;
        }
        std::this_thread::sleep_for(50ms);
    }
    kill(*pid, SIGKILL);
    waitpid(*pid, nullptr, 0);
    *pid = -1;
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ReadTail(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    return text.size() > 600 ? text.substr(text.size() - 600) : text;
}

double ValueAfter(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return -1;
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

}  // namespace

bool HaveProgram(const std::string& name) {
    return !FindProgram(name).empty();
}

bool MakeTone(const std::string& path, double seconds, int hertz, double volume) {
    std::ostringstream cmd;
    cmd << "sox -n -r 44100 -b 16 -c 1 " << Quote(path) << " synth " << seconds << " sine " << hertz
        << " vol " << volume << " >/dev/null 2>&1";
    return std::system(cmd.str().c_str()) == 0;
}

Level MeasureLevel(const std::string& wavPath) {
    Level level;
    const std::string cmd = "sox " + Quote(wavPath) + " -n stat 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) return level;
    std::string text;
    char buf[512];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    const int rc = pclose(pipe);
    level.rms = ValueAfter(text, "RMS     amplitude:");
    level.max = ValueAfter(text, "Maximum amplitude:");
    level.ok = rc == 0 && level.rms >= 0 && level.max >= 0;
    return level;
}

PulseServer::~PulseServer() {
    Stop();
}

bool PulseServer::Start(const std::string& dir, std::string* why) {
    for (const char* tool : {"pulseaudio", "pactl", "parec", "sox"}) {
        if (!HaveProgram(tool)) {
            *why = std::string("no audio path: '") + tool + "' is not installed";
            return false;
        }
    }
    const std::string home = dir + "/home";
    const std::string run = dir + "/run";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(run);
    chmod(run.c_str(), 0700);
    const std::string socket = run + "/native";
    const std::string clientConf = dir + "/client.conf";
    std::ofstream(clientConf) << "autospawn = no\n";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", run.c_str(), 1);
    setenv("PULSE_STATE_PATH", (home + "/state").c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", clientConf.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    setenv("CANBERRA_DRIVER", "pulse", 1);

    const std::string log = dir + "/pulseaudio.log";
    pid_ = Spawn({"pulseaudio", "--daemonize=no", "--system=false", "-n", "--exit-idle-time=-1",
                  "--use-pid-file=no", "--disable-shm=yes", "--realtime=no", "--high-priority=no",
                  "--log-target=stderr", std::string("--load=module-null-sink sink_name=") + kSink,
                  "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket},
                 log);
    if (pid_ <= 0) {
        *why = "no audio path: pulseaudio could not be started";
        return false;
    }
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            *why = "no audio path: pulseaudio exited at start-up: " + ReadTail(log);
            return false;
        }
        if (access(socket.c_str(), F_OK) == 0 && std::system("pactl info >/dev/null 2>&1") == 0) {
            if (KeepSinkResponsive(dir)) return true;
            Stop();
            *why = "no audio path: the null sink could not be recorded: " + ReadTail(log);
            return false;
        }
        std::this_thread::sleep_for(100ms);
    }
    Stop();
    *why = "no audio path: pulseaudio did not answer: " + ReadTail(log);
    return false;
}

// An idle null sink renders in blocks of up to two seconds, and takes one
// such block to follow a stream that asks for less: a recording started then
// would see nothing for that long, and a sound's end would be reported late.
// A recording kept open for the server's life holds the sink at 20 ms; the
// sink follows it once this recording receives data.
bool PulseServer::KeepSinkResponsive(const std::string& dir) {
    const std::string raw = dir + "/keeper.raw";
    keeper_ = Spawn({"parec", "-d", std::string(kSink) + ".monitor", "--latency-msec=20", raw},
                    dir + "/keeper.log");
    if (keeper_ <= 0) return false;
    for (int i = 0; i < 100; ++i) {
        std::error_code ec;
        if (std::filesystem::file_size(raw, ec) > 0 && !ec) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

void PulseServer::Stop() {
    EndChild(&keeper_, SIGINT);
    EndChild(&pid_, SIGTERM);
}

Recorder::~Recorder() {
    Stop();
}

bool Recorder::Start(const std::string& wavPath) {
    Stop();
    std::filesystem::remove(wavPath);
    pid_ = Spawn({"parec", "-d", std::string(PulseServer::kSink) + ".monitor", "--latency-msec=20",
                  "--file-format=wav", wavPath},
                 wavPath + ".log");
    if (pid_ <= 0) return false;
    // Recording runs once the server lists the recorder's stream.
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        if (std::system("pactl list short source-outputs 2>/dev/null | grep -q .") == 0) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    Stop();
    return false;
}

void Recorder::Stop() {
    // parec completes the WAV header when interrupted.
    EndChild(&pid_, SIGINT);
}

}  // namespace tarnwatch::test
