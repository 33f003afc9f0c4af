// Runs tests/metrics/readback.py (Debian's Python, which has the metrics
// parser) on a file the monitor wrote and collects what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tarnwatch::metrics {

struct Captured {
    int exitCode = -1;
    std::string out;
};

// Runs a shell command line and captures its standard output.
inline Captured RunCapture(const std::string& command) {
    Captured c;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return c;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) c.out.append(buf, n);
    const int status = pclose(pipe);
    c.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return c;
}

inline std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

inline std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, sep)) parts.push_back(part);
    if (!line.empty() && line.back() == sep) parts.emplace_back();
    return parts;
}

struct Sample {
    std::string name;
    std::map<std::string, std::string> labels;
    double value = 0;
};

struct Exposition {
    bool parsed = false;
    std::string error;  // the parser's output when it failed
    std::map<std::string, std::pair<std::string, std::string>> families;  // type, help
    std::vector<Sample> samples;

    // The samples of `name` whose label `key` is `value` (every one of
    // `name` for an empty key).
    std::vector<Sample> Find(const std::string& name, const std::string& key = "",
                             const std::string& value = "") const {
        std::vector<Sample> found;
        for (const Sample& s : samples) {
            if (s.name != name) continue;
            auto it = s.labels.find(key);
            if (key.empty() || (it != s.labels.end() && it->second == value)) found.push_back(s);
        }
        return found;
    }
};

inline std::string Script() {
    return std::string("/usr/bin/python3 ") + TARNWATCH_SOURCE_DIR + "/tests/metrics/readback.py";
}

inline Exposition ReadExposition(const std::string& file) {
    Exposition e;
    const Captured c = RunCapture(Script() + " exposition '" + file + "' 2>&1");
    e.parsed = c.exitCode == 0;
    if (!e.parsed) {
        e.error = c.out;
        return e;
    }
    std::istringstream in(c.out);
    std::string line;
    while (std::getline(in, line)) {
        const auto f = Split(line, '\t');
        if (f.size() == 4 && f[0] == "family") {
            e.families[f[1]] = {f[2], Unhex(f[3])};
        } else if (f.size() == 4 && f[0] == "sample") {
            Sample s;
            s.name = f[1];
            for (const std::string& kv : Split(f[2], ',')) {
                const std::size_t eq = kv.find('=');
                if (eq != std::string::npos) s.labels[kv.substr(0, eq)] = Unhex(kv.substr(eq + 1));
            }
            s.value = std::strtod(f[3].c_str(), nullptr);
            e.samples.push_back(std::move(s));
        }
    }
    return e;
}

// PATH -> "s:<text>" (decoded), "n:<number>", "b:true", "null", "length:N".
struct JsonDocument {
    bool parsed = false;
    std::string error;
    std::map<std::string, std::string> values;
    std::string Text(const std::string& path) const {
        auto it = values.find(path);
        return it == values.end() ? "<missing " + path + ">" : it->second;
    }
};

inline JsonDocument ReadJson(const std::string& file) {
    JsonDocument d;
    const Captured c = RunCapture(Script() + " json '" + file + "' 2>&1");
    d.parsed = c.exitCode == 0;
    if (!d.parsed) {
        d.error = c.out;
        return d;
    }
    std::istringstream in(c.out);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::string value = line.substr(tab + 1);
        if (value.rfind("s:", 0) == 0) value = "s:" + Unhex(value.substr(2));
        d.values[line.substr(0, tab)] = value;
    }
    return d;
}

}  // namespace tarnwatch::metrics
