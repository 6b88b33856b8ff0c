#include "devinfo.h"

#include "enum_face.h"
#include "storage_face.h"
#include "text.h"

namespace wiasim {

namespace {

// The record of one device: a read-only property storage.
class DeviceRecord final : public ComObject, public StorageFace<DeviceRecord> {
public:
    explicit DeviceRecord(const profile::Device& d) : ComObject("WiaDevInfo"), store_(d.record) { setLabel(d.id); }
    PropertyStore& store() { return store_; }
    HRESULT writable() const { return S_OK; }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == wia::IID_IWiaPropertyStorage)
            return static_cast<IWiaPropertyStorage*>(this);
        return nullptr;
    }

private:
    PropertyStore store_;
};

class DeviceEnum final : public ComObject,
                         public PointerEnumFace<DeviceEnum, IEnumWIA_DEV_INFO, IWiaPropertyStorage> {
    using Devices = std::vector<std::shared_ptr<const profile::Device>>;

public:
    DeviceEnum(std::shared_ptr<const Devices> devices, size_t pos)
        : ComObject("EnumWIA_DEV_INFO"), PointerEnumFace(pos), devices_(std::move(devices)) {}

    size_t count() const { return devices_->size(); }
    IWiaPropertyStorage* make(size_t i) { return new DeviceRecord(*(*devices_)[i]); }
    IEnumWIA_DEV_INFO* cloneAt(size_t pos) { return new DeviceEnum(devices_, pos); }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == wia::IID_IEnumWIA_DEV_INFO) return static_cast<IEnumWIA_DEV_INFO*>(this);
        return nullptr;
    }

private:
    std::shared_ptr<const Devices> devices_;
};

}  // namespace

IEnumWIA_DEV_INFO* newDeviceEnumerator(std::vector<std::shared_ptr<const profile::Device>> devices) {
    return new DeviceEnum(std::make_shared<const std::vector<std::shared_ptr<const profile::Device>>>(std::move(devices)),
                          0);
}

}  // namespace wiasim
