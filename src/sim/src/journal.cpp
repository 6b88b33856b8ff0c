#include "journal.h"

#include <deque>
#include <mutex>

#include "apartment.h"
#include "text.h"

namespace wiasim {

namespace {

thread_local int tInternalDepth = 0;

// Oldest lines are dropped beyond this many, so that a long demonstration run
// does not grow without bound.
constexpr size_t kJournalLimit = 200000;

struct Fault {
    std::string method, filter;
    HRESULT hr;
    int nth, times;
    bool afterCall;
    int matched;
};

struct Book {
    std::mutex mu;
    std::deque<std::string> lines;
    std::vector<Fault> faults;
};

Book& book() {
    static Book* b = new Book;
    return *b;
}

}  // namespace

InternalScope::InternalScope() { ++tInternalDepth; }
InternalScope::~InternalScope() { --tInternalDepth; }
bool InternalScope::active() { return tInternalDepth > 0; }

HRESULT Call::apartmentResult() { return apartmentCheck(); }

// A filter is one or more terms joined by " && "; each must occur in the
// call's arguments or in the name of the object called ("@WiaItem2#3", its label).
bool filterMatches(const std::string& filter, const std::string& text) {
    static const std::string kAnd = " && ";
    size_t from = 0;
    for (;;) {
        const size_t end = filter.find(kAnd, from);
        const std::string term = filter.substr(from, end == std::string::npos ? std::string::npos : end - from);
        if (!term.empty() && text.find(term) == std::string::npos) return false;
        if (end == std::string::npos) return true;
        from = end + kAnd.size();
    }
}

FaultHit Call::matchFault(const std::string& name, const std::string& args, const std::string& tag,
                          const std::string* label) {
    Book& b = book();
    std::lock_guard<std::mutex> lock(b.mu);
    FaultHit hit;
    std::string text;
    bool textMade = false;
    for (Fault& f : b.faults) {
        if (f.method != name) continue;
        if (!f.filter.empty()) {
            if (!textMade) {
                text = args;
                if (!tag.empty()) text += " @" + tag;
                if (label) text += " " + *label;
                textMade = true;
            }
            if (!filterMatches(f.filter, text)) continue;
        }
        const int n = ++f.matched;
        const bool inWindow = n >= f.nth && (f.times < 0 || n < f.nth + f.times);
        if (inWindow && !hit.fire) {
            hit.fire = true;
            hit.hr = f.hr;
            hit.afterCall = f.afterCall;
        }
    }
    return hit;
}

HRESULT Call::finish(HRESULT hr) {
    std::string line = std::to_string(threadId());
    line += ' ';
    line += name_;
    line += '(';
    line += args_;
    line += ") = ";
    line += hex8(static_cast<uint32_t>(hr));
    if (!tag_.empty()) {
        line += " @";
        line += tag_;
    }
    Book& b = book();
    std::lock_guard<std::mutex> lock(b.mu);
    b.lines.push_back(std::move(line));
    if (b.lines.size() > kJournalLimit) b.lines.pop_front();
    return hr;
}

void journalClear() {
    Book& b = book();
    std::lock_guard<std::mutex> lock(b.mu);
    b.lines.clear();
}

std::vector<std::string> journalLines() {
    Book& b = book();
    std::lock_guard<std::mutex> lock(b.mu);
    return {b.lines.begin(), b.lines.end()};
}

void faultAdd(const std::string& method, const std::string& argFilter, int32_t hr, int nth, int times,
              bool afterCall) {
    Book& b = book();
    std::lock_guard<std::mutex> lock(b.mu);
    b.faults.push_back({method, argFilter, hr, nth < 1 ? 1 : nth, times, afterCall, 0});
}

void faultsClear() {
    Book& b = book();
    std::lock_guard<std::mutex> lock(b.mu);
    b.faults.clear();
}

}  // namespace wiasim
