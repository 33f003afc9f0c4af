// Builds and removes the echo tests' network namespace with the ip tool.
#include "SilentHostNamespace.h"

#include <unistd.h>

#include <cstdlib>

namespace {

std::string Octets(int a, int b, int c, int d) {
    return std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." +
           std::to_string(d);
}

}  // namespace

SilentHostNamespace::SilentHostNamespace() {
    const int pid = static_cast<int>(getpid());
    name_ = "qgp" + std::to_string(pid);
    vethOut_ = name_ + "a";
    vethIn_ = name_ + "b";
    // A /30 of private space picked by process id keeps parallel runs apart.
    const int block = pid % 16384;
    const int third = block / 64;
    const int fourth = (block % 64) * 4;
    local_ = Octets(10, 213, third, fourth + 1);
    silent_ = Octets(10, 213, third, fourth + 2);
    refused_ = Octets(10, 214, third, fourth + 1);

    if (geteuid() != 0) {
        failure_ = "network namespaces need root";
        return;
    }
    if (!Run("ip netns add " + name_)) {
        failure_ = "ip netns add failed (no network namespaces here)";
        return;
    }
    created_ = true;
    const std::string in = "ip netns exec " + name_ + " ";
    const bool ok =
        Run("ip link add " + vethOut_ + " type veth peer name " + vethIn_ + " netns " + name_) &&
        Run("ip addr add " + local_ + "/30 dev " + vethOut_) &&
        Run("ip link set " + vethOut_ + " up") &&
        Run(in + "ip addr add " + silent_ + "/30 dev " + vethIn_) &&
        Run(in + "ip link set " + vethIn_ + " up") && Run(in + "ip link set lo up") &&
        Run(in + "sysctl -qw net.ipv4.icmp_echo_ignore_all=1") &&
        Run(in + "sysctl -qw net.ipv4.ip_forward=1") &&
        Run(in + "ip route add prohibit " + refused_ + "/32") &&
        Run("ip route add " + refused_ + "/32 via " + silent_);
    if (!ok) failure_ = "could not wire the namespace " + name_;
}

SilentHostNamespace::~SilentHostNamespace() {
    if (!created_) return;
    Run("ip route del " + refused_ + "/32 via " + silent_ + " 2>/dev/null");
    Run("ip link del " + vethOut_ + " 2>/dev/null");
    Run("ip netns del " + name_);
}

bool SilentHostNamespace::Run(const std::string& command) {
    return std::system((command + " >/dev/null").c_str()) == 0;
}
