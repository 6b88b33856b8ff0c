#include "service.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace wiasim {

namespace {

struct State {
    std::mutex mu;
    std::shared_ptr<const profile::Profile> profile;
    std::map<std::u16string, bool> present;  // changes since the profile was loaded
};

State& state() {
    static State* s = new State;
    return *s;
}

}  // namespace

std::shared_ptr<const profile::Profile> startupProfile() {
    const char* path = std::getenv("TALVEK_SIM_PROFILE");
    if (!path || !*path) return profile::parse(profile::defaultJson());
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw std::invalid_argument(std::string("cannot read ") + path);
        std::ostringstream text;
        text << in.rdbuf();
        return profile::parse(text.str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wiasim: TALVEK_SIM_PROFILE=%s not used, the service has no devices: %s\n", path,
                     e.what());
        return std::make_shared<const profile::Profile>();
    }
}

std::shared_ptr<const profile::Profile> currentProfile() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mu);
    if (!s.profile) s.profile = startupProfile();
    return s.profile;
}

void setProfile(std::shared_ptr<const profile::Profile> p) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mu);
    s.profile = std::move(p);
    s.present.clear();
}

bool devicePresent(const profile::Device& d) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mu);
    auto it = s.present.find(d.id16);
    return it == s.present.end() ? d.plugged : it->second;
}

bool setDevicePresent(const std::u16string& id, bool present) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mu);
    bool now = false;
    auto it = s.present.find(id);
    if (it != s.present.end()) {
        now = it->second;
    } else if (s.profile) {
        for (const auto& d : s.profile->devices)
            if (d->id16 == id) now = d->plugged;
    }
    if (now == present) return false;
    s.present[id] = present;
    return true;
}

std::shared_ptr<const profile::Device> findDevice(const std::u16string& id, int version) {
    const auto p = currentProfile();
    for (const auto& d : p->devices)
        if (d->id16 == id && devicePresent(*d) && d->visibleTo(version)) return d;
    return nullptr;
}

}  // namespace wiasim
