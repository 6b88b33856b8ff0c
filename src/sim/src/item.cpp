#include "item.h"

#include "service.h"
#include "enum_face.h"
#include "storage_face.h"
#include "text.h"
#include "transfer.h"

namespace wiasim {

namespace {

void build(ItemNode& node, int version) {
    for (const profile::Item& child : node.def->children) {
        if (!(version == 1 ? child.wia1 : child.wia2)) continue;
        node.children.push_back(std::make_unique<ItemNode>(child, &node));
        build(*node.children.back(), version);
    }
}

ItemNode* findByFullName(ItemNode& node, const std::u16string& name) {
    if (utf8ToUtf16(node.def->fullName) == name) return &node;
    for (auto& c : node.children)
        if (ItemNode* hit = findByFullName(*c, name)) return hit;
    return nullptr;
}

std::u16string bstrText(BSTR s) { return s ? std::u16string(s, SysStringLen(s)) : std::u16string(); }

// IEnumWiaItem / IEnumWiaItem2 over a snapshot of child nodes.
template <class ItemT, class EnumI, class ItemI>
class ItemEnum final : public ComObject, public PointerEnumFace<ItemEnum<ItemT, EnumI, ItemI>, EnumI, ItemI> {
public:
    ItemEnum(const char* kind, std::shared_ptr<OpenedDevice> s, std::vector<ItemNode*> nodes, size_t pos)
        : ComObject(kind),
          PointerEnumFace<ItemEnum, EnumI, ItemI>(pos),
          kind_(kind),
          opened_(std::move(s)),
          nodes_(std::move(nodes)) {}

    size_t count() const { return nodes_.size(); }
    ItemI* make(size_t i) { return new ItemT(opened_, nodes_[i]); }
    EnumI* cloneAt(size_t pos) { return new ItemEnum(kind_, opened_, nodes_, pos); }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == Iface<EnumI>::iid()) return static_cast<EnumI*>(this);
        return nullptr;
    }

private:
    const char* kind_;
    std::shared_ptr<OpenedDevice> opened_;
    std::vector<ItemNode*> nodes_;
};

std::string callbackArg(const void* p) { return p ? "callback" : "null"; }

// IWiaTransfer of a WIA 2.0 item that can transfer.
template <class D>
class TransferFace : public Face<D, IWiaTransfer> {
    static constexpr const char* kFaceName = "IWiaTransfer";

public:
    HRESULT STDMETHODCALLTYPE Download(LONG lFlags, IWiaTransferCallback* cb) override {
        return d()->invoke(kFaceName, "Download", [&] { return std::to_string(lFlags) + ", " + callbackArg(cb); }, [] {},
                           [&] { return download(d()->opened(), d()->node(), cb); });
    }
    HRESULT STDMETHODCALLTYPE Upload(LONG lFlags, IStream*, IWiaTransferCallback*) override {
        return d()->invoke(kFaceName, "Upload", [&] { return std::to_string(lFlags); }, [] {}, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE Cancel() override {
        return d()->invoke(kFaceName, "Cancel", [] { return std::string(); }, [] {},
                           [&] { return cancelTransfer(d()->opened()); });
    }
    HRESULT STDMETHODCALLTYPE EnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO** pp) override {
        return d()->invoke(kFaceName, "EnumWIA_FORMAT_INFO", [] { return std::string(); },
                           [&] { if (pp) *pp = nullptr; }, [] { return E_NOTIMPL; });
    }

private:
    D* d() { return static_cast<D*>(this); }
};

std::string mediumArg(const STGMEDIUM* m) {
    if (!m) return "null";
    std::string out = m->tymed == TYMED_FILE ? "TYMED_FILE" : std::to_string(m->tymed);
    if (m->tymed == TYMED_FILE) out += ", " + wideArg(m->lpszFileName);
    return out;
}

// IWiaDataTransfer of a WIA 1.0 item that can transfer.
template <class D>
class DataTransferFace : public Face<D, IWiaDataTransfer> {
    static constexpr const char* kFaceName = "IWiaDataTransfer";

public:
    HRESULT STDMETHODCALLTYPE idtGetData(LPSTGMEDIUM pMedium, IWiaDataCallback* cb) override {
        return d()->invoke(kFaceName, "idtGetData", [&] { return mediumArg(pMedium) + ", " + callbackArg(cb); }, [] {},
                           [&] { return getData(d()->opened(), d()->node(), pMedium, cb); });
    }
    HRESULT STDMETHODCALLTYPE idtGetBandedData(PWIA_DATA_TRANSFER_INFO, IWiaDataCallback* cb) override {
        return unsupported("idtGetBandedData", callbackArg(cb));
    }
    HRESULT STDMETHODCALLTYPE idtQueryGetData(WIA_FORMAT_INFO*) override {
        return unsupported("idtQueryGetData", "");
    }
    HRESULT STDMETHODCALLTYPE idtEnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO** pp) override {
        if (pp) *pp = nullptr;
        return unsupported("idtEnumWIA_FORMAT_INFO", "");
    }
    HRESULT STDMETHODCALLTYPE idtGetExtendedTransferInfo(PWIA_EXTENDED_TRANSFER_INFO) override {
        return unsupported("idtGetExtendedTransferInfo", "");
    }

private:
    D* d() { return static_cast<D*>(this); }
    HRESULT unsupported(const char* method, const std::string& args) {
        return d()->invoke(kFaceName, method, [&] { return args; }, [] {}, [] { return E_NOTIMPL; });
    }
};

// What the items of both WIA versions share. D is the final item class, I its
// item interface, EnumI the matching child enumerator.
template <class D, class I, class EnumI>
class ItemCommon : public ComObject, public Face<D, I>, public StorageFace<D> {
public:
    ItemCommon(const char* kind, std::shared_ptr<OpenedDevice> s, ItemNode* node)
        : ComObject(kind), opened_(std::move(s)), node_(node) {
        setLabel(node_->def->fullName);
    }
    PropertyStore& store() { return node_->store; }
    HRESULT writable() const { return writableNow(*opened_); }
    const std::shared_ptr<OpenedDevice>& opened() const { return opened_; }
    ItemNode* node() const { return node_; }

protected:
    static constexpr const char* kIface = Iface<I>::name;
    using Enum = ItemEnum<D, EnumI, I>;

    HRESULT precondition() override {
        return devicePresent(*opened_->device) ? S_OK : wia::WIA_ERROR_OFFLINE;
    }

    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == Iface<I>::iid()) return static_cast<I*>(this);
        if (riid == wia::IID_IWiaPropertyStorage) return static_cast<IWiaPropertyStorage*>(this);
        return nullptr;
    }

    HRESULT enumChildren(const char* enumKind, const GUID* category, EnumI** pp) {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (!(node_->def->itemType & wia::WiaItemTypeFolder)) return E_INVALIDARG;
        std::vector<ItemNode*> nodes;
        for (auto& c : node_->children)
            if (!category || (c->def->category && *c->def->category == *category)) nodes.push_back(c.get());
        *pp = new Enum(enumKind, opened_, std::move(nodes), 0);
        return S_OK;
    }

    HRESULT findByName(BSTR name, I** pp) {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (!name) return E_INVALIDARG;
        ItemNode* hit = findByFullName(*opened_->root, bstrText(name));
        if (!hit) return S_FALSE;
        *pp = new D(opened_, hit);
        return S_OK;
    }

    HRESULT rootItem(I** pp) {
        if (!pp) return E_POINTER;
        *pp = new D(opened_, opened_->root.get());
        return S_OK;
    }

    HRESULT itemType(LONG* p) {
        if (!p) return E_INVALIDARG;
        *p = node_->def->itemType;
        return S_OK;
    }

    template <class Clear>
    HRESULT notImplemented(const char* method, std::string args, Clear&& clear) {
        return this->invoke(kIface, method, [&] { return args; }, clear, [] { return E_NOTIMPL; });
    }
    HRESULT notImplemented(const char* method, std::string args) {
        return notImplemented(method, std::move(args), [] {});
    }

    std::shared_ptr<OpenedDevice> opened_;
    ItemNode* node_;
};

std::string categoryArg(const GUID* g) { return g ? guidName(*g) : "null"; }

bool canTransfer(const ItemNode* node) { return (node->def->itemType & wia::WiaItemTypeTransfer) != 0; }

class Item2 final : public ItemCommon<Item2, IWiaItem2, IEnumWiaItem2>, public TransferFace<Item2> {
public:
    Item2(std::shared_ptr<OpenedDevice> s, ItemNode* node) : ItemCommon("WiaItem2", std::move(s), node) {}

    HRESULT STDMETHODCALLTYPE CreateChildItem(LONG lItemFlags, LONG lCreationFlags, BSTR bstrItemName,
                                              IWiaItem2** pp) override {
        return notImplemented(
            "CreateChildItem", hexShort(lItemFlags) + ", " + hexShort(lCreationFlags) + ", " + bstrArg(bstrItemName),
            [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE DeleteItem(LONG lFlags) override {
        return notImplemented("DeleteItem", std::to_string(lFlags));
    }
    HRESULT STDMETHODCALLTYPE EnumChildItems(const GUID* pCategoryGUID, IEnumWiaItem2** pp) override {
        return invoke(kIface, "EnumChildItems", [&] { return categoryArg(pCategoryGUID); },
                      [&] { if (pp) *pp = nullptr; },
                      [&] { return enumChildren("EnumWiaItem2", pCategoryGUID, pp); });
    }
    HRESULT STDMETHODCALLTYPE FindItemByName(LONG lFlags, BSTR bstrFullItemName, IWiaItem2** pp) override {
        return invoke(kIface, "FindItemByName", [&] { return std::to_string(lFlags) + ", " + bstrArg(bstrFullItemName); },
                      [&] { if (pp) *pp = nullptr; }, [&] { return findByName(bstrFullItemName, pp); });
    }
    HRESULT STDMETHODCALLTYPE GetItemCategory(GUID* p) override {
        return invoke(kIface, "GetItemCategory", [] { return std::string(); }, [&] { if (p) *p = GUID_NULL; },
                      [&]() -> HRESULT {
                          if (!p) return E_INVALIDARG;
                          *p = node_->def->category ? *node_->def->category : GUID_NULL;
                          return S_OK;
                      });
    }
    HRESULT STDMETHODCALLTYPE GetItemType(LONG* p) override {
        return invoke(kIface, "GetItemType", [] { return std::string(); }, [&] { if (p) *p = 0; },
                      [&] { return itemType(p); });
    }
    HRESULT STDMETHODCALLTYPE DeviceDlg(LONG lFlags, HWND, BSTR bstrFolderName, BSTR bstrFilename, LONG* plNumFiles,
                                        BSTR** ppbstrFilePaths, IWiaItem2** ppItem) override {
        auto clear = [&] {
            if (plNumFiles) *plNumFiles = 0;
            if (ppbstrFilePaths) *ppbstrFilePaths = nullptr;
            if (ppItem) *ppItem = nullptr;
        };
        return invoke(
            kIface, "DeviceDlg",
            [&] { return std::to_string(lFlags) + ", " + bstrArg(bstrFolderName) + ", " + bstrArg(bstrFilename); },
            clear, [&]() -> HRESULT {
                clear();
                ItemNode* selected = nullptr;
                const HRESULT hr = deviceDialog2(opened_, node_, bstrFolderName, bstrFilename, plNumFiles,
                                                 ppbstrFilePaths, &selected);
                if (hr == S_OK && ppItem && selected) *ppItem = new Item2(opened_, selected);
                return hr;
            });
    }
    HRESULT STDMETHODCALLTYPE DeviceCommand(LONG lFlags, const GUID* pCmdGUID, IWiaItem2** pp) override {
        return notImplemented("DeviceCommand", std::to_string(lFlags) + ", " + categoryArg(pCmdGUID),
                              [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE EnumDeviceCapabilities(LONG lFlags, IEnumWIA_DEV_CAPS** pp) override {
        return notImplemented("EnumDeviceCapabilities", std::to_string(lFlags), [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE CheckExtension(LONG lFlags, BSTR bstrName, REFIID riid, BOOL* pb) override {
        return notImplemented("CheckExtension", std::to_string(lFlags) + ", " + bstrArg(bstrName) + ", " + guidName(riid),
                              [&] { if (pb) *pb = FALSE; });
    }
    HRESULT STDMETHODCALLTYPE GetExtension(LONG lFlags, BSTR bstrName, REFIID riid, void** ppOut) override {
        return notImplemented("GetExtension", std::to_string(lFlags) + ", " + bstrArg(bstrName) + ", " + guidName(riid),
                              [&] { if (ppOut) *ppOut = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE GetParentItem(IWiaItem2** pp) override {
        return invoke(kIface, "GetParentItem", [] { return std::string(); }, [&] { if (pp) *pp = nullptr; },
                      [&]() -> HRESULT {
                          if (!pp) return E_POINTER;
                          *pp = nullptr;
                          if (!node_->parent) return S_FALSE;
                          *pp = new Item2(opened_, node_->parent);
                          return S_OK;
                      });
    }
    HRESULT STDMETHODCALLTYPE GetRootItem(IWiaItem2** pp) override {
        return invoke(kIface, "GetRootItem", [] { return std::string(); }, [&] { if (pp) *pp = nullptr; },
                      [&] { return rootItem(pp); });
    }
    HRESULT STDMETHODCALLTYPE GetPreviewComponent(LONG lFlags, IWiaPreview** pp) override {
        return notImplemented("GetPreviewComponent", std::to_string(lFlags), [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE EnumRegisterEventInfo(LONG lFlags, const GUID* pEventGUID, IEnumWIA_DEV_CAPS** pp) override {
        return notImplemented("EnumRegisterEventInfo", std::to_string(lFlags) + ", " + categoryArg(pEventGUID),
                              [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE Diagnostic(ULONG ulSize, BYTE*) override {
        return notImplemented("Diagnostic", std::to_string(ulSize));
    }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == wia::IID_IWiaTransfer) return canTransfer(node_) ? static_cast<IWiaTransfer*>(this) : nullptr;
        return ItemCommon::findInterface(riid);
    }
};

class Item1 final : public ItemCommon<Item1, IWiaItem, IEnumWiaItem>, public DataTransferFace<Item1> {
public:
    Item1(std::shared_ptr<OpenedDevice> s, ItemNode* node) : ItemCommon("WiaItem", std::move(s), node) {}

    HRESULT STDMETHODCALLTYPE GetItemType(LONG* p) override {
        return invoke(kIface, "GetItemType", [] { return std::string(); }, [&] { if (p) *p = 0; },
                      [&] { return itemType(p); });
    }
    HRESULT STDMETHODCALLTYPE AnalyzeItem(LONG lFlags) override {
        return notImplemented("AnalyzeItem", std::to_string(lFlags));
    }
    HRESULT STDMETHODCALLTYPE EnumChildItems(IEnumWiaItem** pp) override {
        return invoke(kIface, "EnumChildItems", [] { return std::string(); }, [&] { if (pp) *pp = nullptr; },
                      [&] { return enumChildren("EnumWiaItem", nullptr, pp); });
    }
    HRESULT STDMETHODCALLTYPE DeleteItem(LONG lFlags) override {
        return notImplemented("DeleteItem", std::to_string(lFlags));
    }
    HRESULT STDMETHODCALLTYPE CreateChildItem(LONG lFlags, BSTR bstrItemName, BSTR bstrFullItemName,
                                              IWiaItem** pp) override {
        return notImplemented("CreateChildItem",
                              hexShort(lFlags) + ", " + bstrArg(bstrItemName) + ", " + bstrArg(bstrFullItemName),
                              [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE EnumRegisterEventInfo(LONG lFlags, const GUID* pEventGUID, IEnumWIA_DEV_CAPS** pp) override {
        return notImplemented("EnumRegisterEventInfo", std::to_string(lFlags) + ", " + categoryArg(pEventGUID),
                              [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE FindItemByName(LONG lFlags, BSTR bstrFullItemName, IWiaItem** pp) override {
        return invoke(kIface, "FindItemByName", [&] { return std::to_string(lFlags) + ", " + bstrArg(bstrFullItemName); },
                      [&] { if (pp) *pp = nullptr; }, [&] { return findByName(bstrFullItemName, pp); });
    }
    HRESULT STDMETHODCALLTYPE DeviceDlg(HWND, LONG lFlags, LONG lIntent, LONG* plItemCount, IWiaItem*** ppItems) override {
        auto clear = [&] {
            if (plItemCount) *plItemCount = 0;
            if (ppItems) *ppItems = nullptr;
        };
        return invoke(kIface, "DeviceDlg", [&] { return std::to_string(lFlags) + ", " + std::to_string(lIntent); },
                      clear, [&]() -> HRESULT {
                          if (!plItemCount || !ppItems) return E_INVALIDARG;
                          clear();
                          std::vector<ItemNode*> chosen;
                          const HRESULT hr = deviceDialog1(opened_, node_, &chosen);
                          if (hr != S_OK) return hr;
                          auto* items = static_cast<IWiaItem**>(CoTaskMemAlloc(chosen.size() * sizeof(IWiaItem*)));
                          if (!items) return E_OUTOFMEMORY;
                          for (size_t i = 0; i < chosen.size(); ++i) items[i] = new Item1(opened_, chosen[i]);
                          *ppItems = items;
                          *plItemCount = static_cast<LONG>(chosen.size());
                          return S_OK;
                      });
    }
    HRESULT STDMETHODCALLTYPE DeviceCommand(LONG lFlags, const GUID* pCmdGUID, IWiaItem** pp) override {
        return notImplemented("DeviceCommand", std::to_string(lFlags) + ", " + categoryArg(pCmdGUID),
                              [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE GetRootItem(IWiaItem** pp) override {
        return invoke(kIface, "GetRootItem", [] { return std::string(); }, [&] { if (pp) *pp = nullptr; },
                      [&] { return rootItem(pp); });
    }
    HRESULT STDMETHODCALLTYPE EnumDeviceCapabilities(LONG lFlags, IEnumWIA_DEV_CAPS** pp) override {
        return notImplemented("EnumDeviceCapabilities", std::to_string(lFlags), [&] { if (pp) *pp = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE DumpItemData(BSTR* p) override {
        return notImplemented("DumpItemData", "", [&] { if (p) *p = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE DumpDrvItemData(BSTR* p) override {
        return notImplemented("DumpDrvItemData", "", [&] { if (p) *p = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE DumpTreeItemData(BSTR* p) override {
        return notImplemented("DumpTreeItemData", "", [&] { if (p) *p = nullptr; });
    }
    HRESULT STDMETHODCALLTYPE Diagnostic(ULONG ulSize, BYTE*) override {
        return notImplemented("Diagnostic", std::to_string(ulSize));
    }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == wia::IID_IWiaDataTransfer)
            return canTransfer(node_) ? static_cast<IWiaDataTransfer*>(this) : nullptr;
        return ItemCommon::findInterface(riid);
    }
};

}  // namespace

std::shared_ptr<OpenedDevice> openTree(std::shared_ptr<const profile::Device> device, int version) {
    auto s = std::make_shared<OpenedDevice>();
    s->device = std::move(device);
    s->version = version;
    s->root = std::make_unique<ItemNode>(s->device->root, nullptr);
    build(*s->root, version);
    return s;
}

IUnknown* newRootItem(std::shared_ptr<const profile::Device> device, int version) {
    auto s = openTree(std::move(device), version);
    ItemNode* root = s->root.get();
    if (version == 1) return static_cast<IWiaItem*>(new Item1(std::move(s), root));
    return static_cast<IWiaItem2*>(new Item2(std::move(s), root));
}

}  // namespace wiasim
