#include "devinfo.h"

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

class DeviceEnum final : public ComObject, public Face<DeviceEnum, IEnumWIA_DEV_INFO> {
    static constexpr const char* kIface = "IEnumWIA_DEV_INFO";
    using Devices = std::vector<std::shared_ptr<const profile::Device>>;

public:
    DeviceEnum(std::shared_ptr<const Devices> devices, size_t pos)
        : ComObject("EnumWIA_DEV_INFO"), devices_(std::move(devices)), pos_(pos) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWiaPropertyStorage** rgelt, ULONG* pceltFetched) override {
        return invoke(
            kIface, "Next", [&] { return countArg(celt); },
            [&] {
                if (rgelt)
                    for (ULONG i = 0; i < celt; ++i) rgelt[i] = nullptr;
                if (pceltFetched) *pceltFetched = 0;
            },
            [&]() -> HRESULT {
                if (!rgelt || (!pceltFetched && celt > 1)) return E_POINTER;
                std::lock_guard<std::mutex> lock(mu_);
                ULONG got = 0;
                while (got < celt && pos_ < devices_->size()) rgelt[got++] = new DeviceRecord(*(*devices_)[pos_++]);
                if (pceltFetched) *pceltFetched = got;
                return got == celt ? S_OK : S_FALSE;
            });
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        return invoke(kIface, "Skip", [&] { return countArg(celt); }, [] {}, [&]() -> HRESULT {
            std::lock_guard<std::mutex> lock(mu_);
            const size_t left = devices_->size() - pos_;
            pos_ += std::min<size_t>(left, celt);
            return celt <= left ? S_OK : S_FALSE;
        });
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        return invoke(kIface, "Reset", [] { return std::string(); }, [] {}, [&]() -> HRESULT {
            std::lock_guard<std::mutex> lock(mu_);
            pos_ = 0;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE Clone(IEnumWIA_DEV_INFO** ppIEnum) override {
        return invoke(kIface, "Clone", [] { return std::string(); }, [&] { if (ppIEnum) *ppIEnum = nullptr; },
                      [&]() -> HRESULT {
                          if (!ppIEnum) return E_POINTER;
                          std::lock_guard<std::mutex> lock(mu_);
                          *ppIEnum = new DeviceEnum(devices_, pos_);
                          return S_OK;
                      });
    }

    HRESULT STDMETHODCALLTYPE GetCount(ULONG* celt) override {
        return invoke(kIface, "GetCount", [] { return std::string(); }, [&] { if (celt) *celt = 0; },
                      [&]() -> HRESULT {
                          if (!celt) return E_POINTER;
                          *celt = static_cast<ULONG>(devices_->size());
                          return S_OK;
                      });
    }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == wia::IID_IEnumWIA_DEV_INFO) return static_cast<IEnumWIA_DEV_INFO*>(this);
        return nullptr;
    }

private:
    std::shared_ptr<const Devices> devices_;
    size_t pos_;
    std::mutex mu_;
};

}  // namespace

IEnumWIA_DEV_INFO* newDeviceEnumerator(std::vector<std::shared_ptr<const profile::Device>> devices) {
    return new DeviceEnum(std::make_shared<const std::vector<std::shared_ptr<const profile::Device>>>(std::move(devices)),
                          0);
}

}  // namespace wiasim
