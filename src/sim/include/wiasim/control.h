// Control API of the simulated WIA service, for tests and tools.
//
// Everything here acts on the one process-wide service. The same functions are
// reachable from Java through ox.orvel.talvek.sim.SimControl.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wiasim {

// Live resources the service accounts for. After a test has released all it
// took, each count is back where it was before the test.
struct Counts {
    int64_t objects;   // live COM objects of the service (the interface table itself excluded)
    int64_t bstrs;     // live BSTRs made by SysAllocString / SysAllocStringLen
    int64_t taskMem;   // live CoTaskMemAlloc blocks
    int64_t local;     // live buffers handed out by FormatMessageA and not yet given to LocalFree
    int64_t badFrees;  // frees of pointers the service never handed out, or handed out and freed already
};
Counts counts();
// One line per live COM object: "<kind> <name> refs=<n>".
std::vector<std::string> liveObjects();

// Profiles. A profile replaces the devices of the service; open objects of the
// previous profile keep working until they are released. Throws
// std::invalid_argument with a readable message on a malformed profile.
void loadProfileJson(const std::string& json);
void loadProfileFile(const std::string& path);
void loadDefaultProfile();
std::string defaultProfileJson();

// Back to the state of a fresh process as far as tests can tell: default
// profile (or the one TALVEK_SIM_PROFILE names), no faults, empty journal,
// no added system texts, no pending events, no hold (a held transfer goes
// on), the default transfer folder, feeders as the profile loads them. Live
// objects stay live.
void reset();

// Fault injection. A call of `method` ("IWiaDevMgr2.CreateDevice",
// "CoCreateInstance", "IEnumWIA_DEV_INFO.Next", ...) whose journalled argument
// text contains `argFilter` (empty: any) is a matching call. Matching calls
// are counted from 1 from the moment of injection; calls nth, nth+1, ... fail
// with `hr`, `times` of them (-1: all). With afterCall the call does its work
// first and then answers `hr` (its outputs stay filled); without it the call
// does nothing, sets its outputs to null/empty and answers `hr`.
void injectFault(const std::string& method, const std::string& argFilter, int32_t hr, int nth, int times,
                 bool afterCall);
void clearFaults();

// Journal of every call the library makes into the service: COM methods of
// the service's objects and the Co*, FormatMessageA, SHCreateStreamOnFileA and
// ReleaseStgMedium functions (string and memory functions are counted, not
// journalled). One line each: "<tid> <Interface.Method or Function>(<args>) = 0x<HR>",
// with the result in eight upper-case hexadecimal digits.
std::vector<std::string> journal();
void clearJournal();

// The id that GetCurrentThreadId() gives the calling thread.
uint32_t currentThreadId();
// Apartment of the calling thread as the service sees it: "none", "sta", "mta".
std::string currentApartment();

// Device events. Queues one event for delivery on the service's event thread
// to every registration that matches it; returns the number of registrations
// it was queued for. The device is looked up in the profile for its type and
// description unless given here.
int fireDeviceEvent(bool connected, const std::string& deviceId, const std::string& description, int32_t deviceType);
// Blocks until every queued event has been delivered and its callback returned.
void waitEventsDelivered();
// Number of live event registrations.
int subscriptions();

// Transfers. A hold stops the next transfer that reaches the point: before
// band `band` (1-based) counted across the whole transfer when `file` is 0,
// else before band `band` of its file `file`; band 0 is before the file's first
// message (with file 0: of the transfer's first file). `target` is a device ID, an item
// name or a full item name ("0000\\Root\\Feeder"); empty: any transfer. The
// transfer stays blocked until releaseTransfer(), reset(), or 30 seconds have
// passed. One hold at a time; a new one replaces it.
void holdTransfer(const std::string& target, int band, int file = 0);
// True once a transfer is blocked at the hold (false after timeoutMs).
bool awaitTransferHeld(int timeoutMs);
// Lets a held transfer go on; a hold not reached yet is dropped.
void releaseTransfer();

// The folder where WIA 1.0 transfers write the files they name:
// $TMPDIR (else /tmp) followed by /wiasim-<pid>, unless set here (empty: the default).
std::string transferFolder();
void setTransferFolder(const std::string& path);

// Loads `sheets` sheets into the feeders of the device: every opened instance
// feeds them from its next sheet on, as does every later open, until reset().
void loadFeeder(const std::string& deviceId, int sheets);

// System message texts for FormatMessageA: texts added here take precedence
// over the built-in table and are gone after reset().
void addSystemMessage(uint32_t code, const std::string& bytes);

}  // namespace wiasim
