// Device dialogs that follow the profile's script.
#include <iterator>

#include "sim_transfer_support.h"

namespace simtest {
namespace {

const char* kCamera = R"(,{"id": "cam", "type": "camera", "root": {"children": [
    {"name": "IMG_0001", "category": "finished_file", "itemType": ["image", "file", "transfer"],
     "transfer": {"picture": {"width": 40, "height": 30}}},
    {"name": "IMG_0002", "category": "finished_file", "itemType": ["image", "file", "transfer"],
     "transfer": {"picture": {"width": 30, "height": 40}}},
    {"name": "IMG_0003", "category": "finished_file", "itemType": ["image", "file", "transfer"],
     "transfer": {"picture": {"width": 20, "height": 20}}}]},
  "dialog": [{"select": ["IMG_0003", "IMG_0001"]}, {"answer": "cancel"}]})";

// What one WIA 2.0 dialog gave: the result, the paths (freed here) and the item's name.
struct Dialog2 {
    HRESULT hr;
    std::vector<std::string> paths;
    std::string item;
    bool pathsNull;
};

Dialog2 runDialog2(IWiaItem2* root, BSTR folder, const std::string& name) {
    Bstr file(name);
    LONG count = -1;
    BSTR* paths = reinterpret_cast<BSTR*>(1);
    Ptr<IWiaItem2> item;
    Dialog2 out;
    out.hr = root->DeviceDlg(0, nullptr, folder, file.get(), &count, &paths, item.out());
    out.pathsNull = paths == nullptr;
    for (LONG i = 0; paths && i < count; ++i) {
        out.paths.push_back(u8(paths[i], SysStringLen(paths[i])));
        SysFreeString(paths[i]);
    }
    CoTaskMemFree(paths);
    if (item) out.item = readText(storageOf(item.get()).get(), wia::WIA_IPA_ITEM_NAME);
    return out;
}

class Dialogs : public SimTest {
protected:
    ScratchDir dir;
};

TEST_F(Dialogs, TheWia2DialogWritesTheFilesOfItsScriptOrIsCancelled) {
    const std::string scanner = R"(,{"id": "scan2", "root": {"children": [
        {"name": "Feeder", "category": "feeder", "transfer": {"pages": 2},
         "properties": [{"id": "WIA_IPS_XEXTENT", "value": 50}, {"id": "WIA_IPS_YEXTENT", "value": 60}]}]},
      "dialog": [{"answer": "cancel"}, {"files": 3}, {"files": 1, "format": "png"}, {"answer": "WIA_ERROR_BUSY"}]})";
    loadProfile(scannerProfile("{}", "{}", scanner + kCamera));
    Bstr folder(dir.path());
    auto root = openRoot2("scan2");
    struct Step {
        HRESULT hr;
        std::vector<std::string> files;
        const char* kind;
        std::string item;
    } steps[] = {
        {S_FALSE, {}, "", ""},
        {S_OK, {"page_1.bmp", "page_2.bmp", "page_3.bmp"}, "BMP", "BSTR:Feeder"},
        {S_OK, {"page_1.png"}, "PNG", "BSTR:Feeder"},
        {wia::WIA_ERROR_BUSY, {}, "", ""},
        {wia::WIA_ERROR_BUSY, {}, "", ""},  // the last step repeats
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        const std::vector<std::string> before = dir.files();
        const Dialog2 d = runDialog2(root.get(), folder.get(), "page");
        EXPECT_EQ(d.hr, s.hr) << i;
        EXPECT_EQ(d.item, s.item) << i;
        std::vector<std::string> expected;
        for (const auto& f : s.files) expected.push_back(dir.path() + "/" + f);
        EXPECT_EQ(d.paths, expected) << i;
        EXPECT_EQ(d.pathsNull, s.files.empty()) << i;
        for (const auto& p : d.paths) {
            const ImageFacts f = inspectFile(p);
            EXPECT_EQ(f.kind, s.kind) << p;
            EXPECT_TRUE(f.consistent) << p;
            EXPECT_EQ(std::make_pair(f.width, f.height), std::make_pair(50, 60)) << p;
        }
        if (s.files.empty()) {
            EXPECT_EQ(dir.files(), before) << i << ": no file written";
        }
    }
    EXPECT_EQ(runDialog2(root.get(), nullptr, "page").hr, E_INVALIDARG) << "a folder is needed";
}

TEST_F(Dialogs, ACameraDialogWritesThePicturesItSelects) {
    loadProfile(scannerProfile("{}", "{}", kCamera));
    Bstr folder(dir.path());
    auto root = openRoot2("cam");
    const Dialog2 d = runDialog2(root.get(), folder.get(), "pic");
    ASSERT_EQ(d.hr, S_OK);
    ASSERT_EQ(d.paths, (std::vector<std::string>{dir.path() + "/pic_1.jpg", dir.path() + "/pic_2.jpg"}));
    EXPECT_EQ(inspectFile(d.paths[0]).width, 20) << "IMG_0003 first, as the script lists it";
    EXPECT_EQ(inspectFile(d.paths[1]).width, 40);
    EXPECT_EQ(d.item, "BSTR:IMG_0003");
    EXPECT_EQ(runDialog2(root.get(), folder.get(), "pic").hr, S_FALSE);

    // Without a script a camera's dialog takes every picture.
    loadProfile(scannerProfile("{}", "{}", R"(,{"id": "plain", "type": "camera", "root": {"children": [
        {"name": "A", "category": "finished_file", "itemType": ["image", "file", "transfer"]},
        {"name": "B", "category": "finished_file", "itemType": ["image", "file", "transfer"]}]}})"));
    auto plain = openRoot2("plain");
    EXPECT_EQ(runDialog2(plain.get(), folder.get(), "all").paths.size(), 2u);
}

TEST_F(Dialogs, TheWia1DialogReturnsTheItemsItsScriptSelects) {
    loadProfile(scannerProfile("{}", "{}", kCamera));
    Ptr<IWiaItem> root;
    Bstr id("cam");
    ASSERT_EQ(manager1()->CreateDevice(id.get(), root.out()), S_OK);
    struct Step {
        HRESULT hr;
        std::vector<std::string> names;
    } steps[] = {
        {S_OK, {"BSTR:IMG_0003", "BSTR:IMG_0001"}},
        {S_FALSE, {}},
    };
    for (const auto& s : steps) {
        LONG count = -1;
        IWiaItem** items = reinterpret_cast<IWiaItem**>(1);
        EXPECT_EQ(root->DeviceDlg(nullptr, 0, wia::WIA_INTENT_NONE, &count, &items), s.hr);
        EXPECT_EQ(count, static_cast<LONG>(s.names.size()));
        EXPECT_EQ(items == nullptr, s.names.empty());
        std::vector<std::string> names;
        for (LONG i = 0; items && i < count; ++i) {
            names.push_back(readText(storageOf(items[i]).get(), wia::WIA_IPA_ITEM_NAME));
            EXPECT_EQ(items[i]->Release(), 0u) << "each item comes with its one reference";
        }
        CoTaskMemFree(items);
        EXPECT_EQ(names, s.names);
    }
}

}  // namespace
}  // namespace simtest
