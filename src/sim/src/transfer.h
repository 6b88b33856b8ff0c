// Transfers: WIA 2.0 IWiaTransfer::Download, WIA 1.0 IWiaDataTransfer::idtGetData
// and the device dialogs, on the item trees of opened devices.
//
// What a transfer produces comes from the item's properties (resolution,
// window, data type, brightness, contrast, format) and from its profile
// definition (pages in the feeder, failures, empty streams, progress, speed).
// A caller in the multithreaded apartment gets its callbacks on a service
// thread; a caller in a single-threaded apartment on its own thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "item.h"

namespace wiasim {

// Whether properties of the opened device's items may be written now:
// S_OK, or WIA_ERROR_BUSY during a transfer.
HRESULT writableNow(const OpenedDevice& opened);

// IWiaTransfer::Download of an item (WIA 2.0).
HRESULT download(const std::shared_ptr<OpenedDevice>& opened, ItemNode* node, IWiaTransferCallback* callback);
// IWiaDataTransfer::idtGetData of an item (WIA 1.0).
HRESULT getData(const std::shared_ptr<OpenedDevice>& opened, ItemNode* node, STGMEDIUM* medium,
                IWiaDataCallback* callback);
// IWiaTransfer::Cancel: the running transfer of the device stops at its next band.
HRESULT cancelTransfer(const std::shared_ptr<OpenedDevice>& opened);

// IWiaItem2::DeviceDlg: writes the files of the dialog script's step and hands
// out their paths; *selected gets the item the images came from.
HRESULT deviceDialog2(const std::shared_ptr<OpenedDevice>& opened, ItemNode* node, BSTR folder, BSTR fileName,
                      LONG* count, BSTR** paths, ItemNode** selected);
// IWiaItem::DeviceDlg: the items the dialog script selects.
HRESULT deviceDialog1(const std::shared_ptr<OpenedDevice>& opened, ItemNode* node, std::vector<ItemNode*>* selected);

// Control.
void holdTransferAt(const std::string& target, int band, int file);
bool awaitHeld(int timeoutMs);
void releaseHeld();
void resetTransfers();  // releases a hold, forgets refills, the service folder and cached pictures
std::string serviceFolder();
void setServiceFolder(const std::string& path);
void refillFeeder(const std::u16string& deviceId, int sheets);

}  // namespace wiasim
