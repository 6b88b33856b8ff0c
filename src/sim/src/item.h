// Item trees of opened devices. Each CreateDevice opens the device afresh: its own
// tree of item nodes with their own property values, built from the profile
// and shared by every item object handed out for that opened device.
#pragma once

#include <memory>
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

struct OpenedDevice {
    std::shared_ptr<const profile::Device> device;  // keeps the item definitions alive
    int version = 2;
    std::unique_ptr<ItemNode> root;
};

std::shared_ptr<OpenedDevice> openTree(std::shared_ptr<const profile::Device> device, int version);
// The root item of a newly opened device, with one reference: an IWiaItem (version 1)
// or an IWiaItem2 (version 2).
IUnknown* newRootItem(std::shared_ptr<const profile::Device> device, int version);

}  // namespace wiasim
