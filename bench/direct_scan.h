// The simulated service scanning the default scanner's flatbed with no library
// in between: the property writes and the IWiaTransfer::Download into a file
// stream that the WIA 2.0 library makes, with a callback that only counts the
// messages. The floor the library's figures are compared with.
#pragma once

#include <string>

#include "ComOwners.h"
#include "wia_platform.h"

namespace bench {

// The default profile with the flatbed's bands set to `bandBytes`.
std::string profileWithBands(int bandBytes);

// The default scanner's flatbed, opened through the WIA 2.0 device manager of
// the service. Throws std::runtime_error when something fails.
class DirectScanner {
public:
    DirectScanner();
    // A letter-size colour page at 300 dpi into `path`; returns the number of
    // status messages the download sent.
    long scan(const std::string& path);

private:
    talvek::ComPtr<IWiaItem2> root_;
    talvek::ComPtr<IWiaItem2> flatbed_;
};

}  // namespace bench
