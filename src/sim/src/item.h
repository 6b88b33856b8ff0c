// Item trees of opened devices. Each CreateDevice opens the device afresh: its own
// tree of item nodes with their own property values, built from the profile
// and shared by every item object handed out for that opened device.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "property_store.h"

namespace wiasim {

struct ItemNode {
    ItemNode(const profile::Item& d, ItemNode* p) : def(&d), parent(p), store(d.properties, d.reportedCount) {}
    const profile::Item* def;
    ItemNode* parent;
    PropertyStore store;
    std::vector<std::unique_ptr<ItemNode>> children;
};

// How a feeder stands within one opened device.
struct FeederState {
    int fed = 0;           // sheets taken since the device was opened (or refilled)
    int loaded = -1;       // sheets loaded; -1: as the profile says
    int backOfSheet = 0;   // WIA 1.0 duplex: the sheet whose second side comes next; 0: none
    uint64_t refills = 0;  // the refill generation this state has seen
};

struct OpenedDevice {
    std::shared_ptr<const profile::Device> device;  // keeps the item definitions alive
    int version = 2;
    std::unique_ptr<ItemNode> root;

    // Transfer state of this opened device.
    std::mutex mu;
    std::map<const profile::Item*, FeederState> feeders;
    std::atomic<bool> transferring{false};
    std::atomic<bool> cancelRequested{false};
    int dialogCalls = 0;
};

std::shared_ptr<OpenedDevice> openTree(std::shared_ptr<const profile::Device> device, int version);
// The root item of a newly opened device, with one reference: an IWiaItem (version 1)
// or an IWiaItem2 (version 2).
IUnknown* newRootItem(std::shared_ptr<const profile::Device> device, int version);

}  // namespace wiasim
