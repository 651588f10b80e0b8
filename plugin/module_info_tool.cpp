// Build tool: writes a bundle's Contents/Resources/moduleinfo.json, which
// hosts read to list the plug-in's classes without loading it. The facts come
// from the built module's own factory, loaded as a host loads it, so the
// description cannot drift from what the factory reports.
//
//   kelvo_module_info <bundle.vst3> <output file>
#include <cstdio>
#include <string>

#include "bundle_loader.h"
#include "json_writer.h"
#include "plugin_ids.h"

namespace {

using namespace Steinberg;

std::string classIdText(const TUID cid) {
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        const auto byte = static_cast<unsigned char>(cid[i]);
        text += DIGITS[byte >> 4];
        text += DIGITS[byte & 15];
    }
    return text;
}

// "Instrument|Synth" -> ["Instrument","Synth"]; an empty text gives [].
void appendSubCategories(std::string& out, const std::string& categories) {
    out += '[';
    size_t start = 0;
    bool first = true;
    while (start < categories.size()) {
        size_t end = categories.find('|', start);
        if (end == std::string::npos) end = categories.size();
        if (end > start) {
            if (!first) out += ',';
            kelvo::jsonAppendQuotedEscaped(out, categories.substr(start, end - start));
            first = false;
        }
        start = end + 1;
    }
    out += ']';
}

void appendText(kelvo::JsonMembers& members, const char* key, const char* value) {
    kelvo::jsonAppendQuotedEscaped(members.next(key), value);
}

void appendFactoryInfo(std::string& out, const PFactoryInfo& info) {
    out += '{';
    kelvo::JsonMembers members(out);
    appendText(members, "Vendor", info.vendor);
    appendText(members, "URL", info.url);
    appendText(members, "E-Mail", info.email);
    std::string& flags = members.next("Flags");
    flags += "{\"Unicode\":";
    kelvo::jsonAppendBool(flags, (info.flags & PFactoryInfo::kUnicode) != 0);
    flags += ",\"Classes Discardable\":";
    kelvo::jsonAppendBool(flags, (info.flags & PFactoryInfo::kClassesDiscardable) != 0);
    flags += ",\"Component Non Discardable\":";
    kelvo::jsonAppendBool(flags, (info.flags & PFactoryInfo::kComponentNonDiscardable) != 0);
    flags += '}';
    out += '}';
}

// A class without a vendor of its own is listed under the factory's, as
// hosts show it.
void appendClass(std::string& out, const PClassInfo2& info, const PFactoryInfo& factory) {
    out += '{';
    kelvo::JsonMembers members(out);
    appendText(members, "CID", classIdText(info.cid).c_str());
    appendText(members, "Category", info.category);
    appendText(members, "Name", info.name);
    appendText(members, "Vendor", info.vendor[0] != '\0' ? info.vendor : factory.vendor);
    appendText(members, "Version", info.version);
    appendText(members, "SDKVersion", info.sdkVersion);
    appendSubCategories(members.next("Sub Categories"), info.subCategories);
    kelvo::jsonAppendInteger(members.next("Class Flags"), info.classFlags);
    kelvo::jsonAppendInteger(members.next("Cardinality"), info.cardinality);
    members.next("Snapshots") += "[]";
    out += '}';
}

// The module is named after its bundle folder.
std::string moduleName(std::string bundlePath) {
    while (bundlePath.size() > 1 && bundlePath.back() == '/')
        bundlePath.pop_back();
    std::string name = bundlePath.substr(bundlePath.rfind('/') + 1);
    return name.substr(0, name.rfind(".vst3"));
}

bool describe(IPluginFactory* factory, const std::string& name, std::string& out) {
    PFactoryInfo factoryInfo;
    FUnknownPtr<IPluginFactory2> classes2(factory);
    if (!classes2 || factory->getFactoryInfo(&factoryInfo) != kResultOk) return false;
    out += "{\"Name\":";
    kelvo::jsonAppendQuotedEscaped(out, name);
    out += ",\"Version\":";
    kelvo::jsonAppendQuotedEscaped(out, kelvo::KELVO_VERSION);
    out += ",\"Factory Info\":";
    appendFactoryInfo(out, factoryInfo);
    out += ",\"Compatibility\":[],\"Classes\":[";
    PClassInfo2 info;
    for (int32 i = 0; i < classes2->countClasses(); ++i) {
        if (classes2->getClassInfo2(i, &info) != kResultOk) return false;
        if (i > 0) out += ',';
        appendClass(out, info, factoryInfo);
    }
    out += "]}\n";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <bundle.vst3> <moduleinfo.json>\n", argv[0]);
        return 2;
    }
    std::string text;
    {
        kelvo::LoadedBundle bundle(argv[1]);
        if (bundle.factory() == nullptr) {
            std::fprintf(stderr, "kelvo_module_info: %s\n", bundle.error().c_str());
            return 1;
        }
        if (!describe(bundle.factory(), moduleName(argv[1]), text)) {
            std::fprintf(stderr, "kelvo_module_info: the factory did not describe its classes\n");
            return 1;
        }
    }
    std::FILE* file = std::fopen(argv[2], "wb");
    const bool written = file != nullptr &&
                         std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                         std::fclose(file) == 0;
    if (!written) {
        std::fprintf(stderr, "kelvo_module_info: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
