// The property set behind every IWiaPropertyStorage of the service (device
// records and items): values, access flags and valid values, validated on
// write as a driver does.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "driver_rules.h"
#include "profile.h"

namespace wiasim {

struct StatEntry {
    std::optional<std::u16string> name;
    PROPID id;
    VARTYPE vt;
};

class PropertyStore {
public:
    // props sorted by ID, as profiles give them.
    explicit PropertyStore(std::vector<profile::Property> props, std::optional<ULONG> reportedCount = std::nullopt)
        : props_(std::move(props)), reportedCount_(reportedCount), geometry_(geometryOf(props_)) {}

    // Caller-facing operations; the outputs are owned by the caller.
    HRESULT readMultiple(ULONG n, const PROPSPEC* specs, PROPVARIANT* out) const;
    HRESULT writeMultiple(ULONG n, const PROPSPEC* specs, const PROPVARIANT* values);
    HRESULT attributes(ULONG n, const PROPSPEC* specs, ULONG* flags, PROPVARIANT* valid) const;
    HRESULT readNames(ULONG n, const PROPID* ids, LPOLESTR* names) const;
    ULONG reportedCount() const;
    std::vector<StatEntry> entries() const;

    // Service-side access.
    std::optional<Variant> value(PROPID id) const;
    std::optional<Variant> validValues(PROPID id) const;
    void setValue(PROPID id, Variant v);

    // Why a write of v would be refused; S_OK when it is accepted.
    static HRESULT validate(const profile::Property& p, const PROPVARIANT& v);

private:
    const profile::Property* find(const PROPSPEC& spec) const;
    // Validates and stores one value, then the values tied to it.
    HRESULT writeOne(std::vector<profile::Property>& props, PROPID id, const PROPVARIANT& v) const;
    mutable std::mutex mu_;
    std::vector<profile::Property> props_;
    std::optional<ULONG> reportedCount_;
    Geometry geometry_;
};

// Journal text of PROPSPECs: "3, 2, 7, 5".
std::string specsArg(ULONG n, const PROPSPEC* specs);
std::string specsWithValuesArg(ULONG n, const PROPSPEC* specs, const PROPVARIANT* values);

}  // namespace wiasim
