// The text form of the list: written here directly (one pass, no document
// tree), read with toml++.
#include "engine/ListText.h"

#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_map>

#include "engine/TextEscape.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

enum class Type {
    kText,       // a text field: a string, or an array of byte values
    kTimeout,    // the time-out text, written as a number when it is one
    kCount,      // a number from 0 up
    kAnyNumber,  // any 32-bit number
    kFlag,       // true or false
    kTest,       // a service-test name
    kKind,       // a source-kind name
    kFrequency,  // a frequency-class name
    kSoundMode,
    kBatchMode,
};

struct Field {
    const char* key;
    Type type;
    std::size_t offset;
    std::size_t size;
};

#define TW_FIELD(key, type, member)                                           \
    Field {                                                                   \
        key, type, offsetof(ServiceItem, member), sizeof(ServiceItem::member) \
    }

// Every stored field but the run-time ones, in the order they are written.
constexpr Field kFields[] = {
    TW_FIELD("description", Type::kText, description),
    TW_FIELD("address", Type::kText, address),
    TW_FIELD("test", Type::kTest, serviceTest),
    TW_FIELD("kind", Type::kKind, sourceKind),
    TW_FIELD("source", Type::kText, source),
    TW_FIELD("timeout", Type::kTimeout, timeoutText),
    TW_FIELD("attempts", Type::kCount, attempts),
    TW_FIELD("frequency", Type::kFrequency, frequency),
    TW_FIELD("enabled", Type::kFlag, enabled),
    TW_FIELD("verify_service", Type::kFlag, verifyService),
    TW_FIELD("check_internet", Type::kFlag, checkInternet),
    TW_FIELD("sound_use_global", Type::kFlag, soundUseGlobal),
    TW_FIELD("sound_on_unavailable", Type::kFlag, alerts.sound.soundOnUnavailable),
    TW_FIELD("sound_on_timed_out", Type::kFlag, alerts.sound.soundOnTimedOut),
    TW_FIELD("sound_on_unresolved", Type::kFlag, alerts.sound.soundOnUnresolved),
    TW_FIELD("sound_mode", Type::kSoundMode, alerts.sound.soundMode),
    TW_FIELD("sound_spare", Type::kAnyNumber, alerts.sound.soundSpare),
    TW_FIELD("failed_sound", Type::kText, alerts.sound.failedSound),
    TW_FIELD("ok_again_sound", Type::kText, alerts.sound.okAgainSound),
    TW_FIELD("batch_use_global", Type::kFlag, batchUseGlobal),
    TW_FIELD("batch_on_unavailable", Type::kFlag, alerts.batch.batchOnUnavailable),
    TW_FIELD("batch_on_timed_out", Type::kFlag, alerts.batch.batchOnTimedOut),
    TW_FIELD("batch_on_unresolved", Type::kFlag, alerts.batch.batchOnUnresolved),
    TW_FIELD("batch_mode", Type::kBatchMode, alerts.batch.batchMode),
    TW_FIELD("batch_spare", Type::kAnyNumber, alerts.batch.batchSpare),
    TW_FIELD("failed_command", Type::kText, alerts.batch.failedCommand),
    TW_FIELD("ok_again_command", Type::kText, alerts.batch.okAgainCommand),
    TW_FIELD("failed_command_wait", Type::kFlag, alerts.batch.failedCommandWait),
    TW_FIELD("ok_again_command_wait", Type::kFlag, alerts.batch.okAgainCommandWait),
};
#undef TW_FIELD
constexpr int kFieldCount = static_cast<int>(std::size(kFields));
constexpr int kKindField = 3;
constexpr int kSourceField = 4;
constexpr int kAddressField = 1;

struct Names {
    const char* const* names;
    int count;
};
constexpr const char* kKindNames[] = {"tcp port", "process name", "program", "none"};
constexpr const char* kFrequencyNames[] = {"on demand", "low", "medium", "high"};
constexpr const char* kSoundModeNames[] = {"none", "once", "every failure", "continuous"};
constexpr const char* kBatchModeNames[] = {"none", "once", "every failure"};

Names NamesOf(Type type) {
    switch (type) {
        case Type::kKind:
            return {kKindNames, 4};
        case Type::kFrequency:
            return {kFrequencyNames, 4};
        case Type::kSoundMode:
            return {kSoundModeNames, 4};
        case Type::kBatchMode:
            return {kBatchModeNames, 3};
        default:
            return {nullptr, 0};
    }
}

std::int32_t IntAt(const ServiceItem& e, const Field& f) {
    std::int32_t v;
    std::memcpy(&v, reinterpret_cast<const char*>(&e) + f.offset, sizeof v);
    return v;
}

void SetInt(ServiceItem& e, const Field& f, std::int32_t v) {
    std::memcpy(reinterpret_cast<char*>(&e) + f.offset, &v, sizeof v);
}

const char* TextAt(const ServiceItem& e, const Field& f) {
    return reinterpret_cast<const char*>(&e) + f.offset;
}

// Sets a text field whole, the bytes after the text zero, so a record read
// back from the text equals the one it was written from.
void SetText(ServiceItem& e, const Field& f, std::string_view text) {
    char* dest = reinterpret_cast<char*>(&e) + f.offset;
    std::memset(dest, 0, f.size);
    std::memcpy(dest, text.data(), text.size());
}

// ---- writing -------------------------------------------------------------

void AppendInt(std::string& out, std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// A TOML basic string. Control characters (C0, DEL, C1) are escaped, so the
// text stays safe to show on a terminal; the rest is written as it is.
void AppendTomlString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = c;
        std::size_t n = 1;
        if (c >= 0x80) {
            n = std::max<std::size_t>(1, Utf8SequenceLength(text.substr(i)));
            cp = n == 2 ? ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu)
                        : 0x100;  // only the two-byte forms hold C1 controls
        }
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            out += "\\u00";
            out += kHex[cp >> 4];
            out += kHex[cp & 0xF];
        } else {
            out.append(text.data() + i, n);
        }
        i += n;
    }
    out += '"';
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = Utf8SequenceLength(text.substr(i));
        if (n == 0) return false;
        i += n;
    }
    return true;
}

void AppendText(std::string& out, std::string_view text) {
    if (IsUtf8(text)) {
        AppendTomlString(out, text);
        return;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '[';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (i) out += ", ";
        out += "0x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
    out += ']';
}

// The decimal value of a plain number text ("10", not "010" or "+1"), or -1.
std::int64_t PlainNumber(std::string_view text) {
    if (text.empty() || text.size() > 10 || (text[0] == '0' && text.size() > 1)) return -1;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v <= std::numeric_limits<std::int32_t>::max() ? v : -1;
}

void AppendValue(std::string& out, const ServiceItem& e, const Field& f) {
    switch (f.type) {
        case Type::kText:
            AppendText(out, TextAt(e, f));
            return;
        case Type::kTimeout: {
            const std::string_view text = TextAt(e, f);
            const std::int64_t v = PlainNumber(text);
            if (v >= 0) {
                AppendInt(out, v);
            } else {
                AppendText(out, text);
            }
            return;
        }
        case Type::kFlag:
            out += IntAt(e, f) ? "true" : "false";
            return;
        case Type::kTest: {
            const char* name = ServiceTestName(IntAt(e, f));
            if (*name) {
                AppendTomlString(out, name);
            } else {
                AppendInt(out, IntAt(e, f));  // refused on import: no test has it
            }
            return;
        }
        case Type::kCount:
        case Type::kAnyNumber:
            AppendInt(out, IntAt(e, f));
            return;
        default: {
            const Names names = NamesOf(f.type);
            const std::int32_t v = IntAt(e, f);
            if (v >= 0 && v < names.count) {
                AppendTomlString(out, names.names[v]);
            } else {
                AppendInt(out, v);  // refused on import: no name has it
            }
            return;
        }
    }
}

// ---- reading -------------------------------------------------------------

using Table = toml::table;

struct Reader {
    const std::string& name;
    std::string& error;

    bool Fail(const toml::source_region& where, int entry, std::string_view key,
              const std::string& what) {
        error = name + ":" + std::to_string(where.begin.line) + ": ";
        if (entry > 0) {
            error += "entry " + std::to_string(entry);
            if (!key.empty()) error += ", ";
        }
        error += key;
        if (entry > 0 || !key.empty()) error += ": ";
        error += what;
        return false;
    }
};

// What a value of the wrong type is called in a message.
const char* TypeName(const toml::node& v) {
    switch (v.type()) {
        case toml::node_type::string:
            return "a text";
        case toml::node_type::integer:
            return "a number";
        case toml::node_type::floating_point:
            return "a fractional number";
        case toml::node_type::boolean:
            return "true or false";
        case toml::node_type::array:
            return "an array";
        case toml::node_type::table:
            return "a table";
        default:
            return "a date or time";
    }
}

std::string Quoted(std::string_view text) {
    std::string out;
    AppendTomlString(out, text);
    return out;
}

std::string NameList(const Names& names) {
    std::string out;
    for (int i = 0; i < names.count; ++i) {
        if (i) out += i + 1 == names.count ? " or " : ", ";
        out += Quoted(names.names[i]);
    }
    return out;
}

// A text value: a string, or an array of byte values 1-255.
bool ReadText(const toml::node& v, std::size_t fieldSize, std::string& text, std::string& why) {
    if (const auto* s = v.as_string()) {
        text = s->get();
        if (text.find('\0') != std::string::npos) {
            why = "a text cannot hold the character U+0000";
            return false;
        }
    } else if (const auto* a = v.as_array()) {
        text.clear();
        for (const toml::node& b : *a) {
            const auto* i = b.as_integer();
            if (!i || i->get() < 1 || i->get() > 255) {
                why = "an array of a text holds byte values from 1 to 255 only";
                return false;
            }
            text += static_cast<char>(i->get());
        }
    } else {
        why = std::string("expected a text, found ") + TypeName(v);
        return false;
    }
    if (text.size() >= fieldSize) {
        why = "the text is " + std::to_string(text.size()) + " bytes long; at most " +
              std::to_string(fieldSize - 1) + " fit";
        return false;
    }
    return true;
}

bool ReadNumber(const toml::node& v, std::int64_t low, std::int64_t high, std::int32_t& out,
                std::string& why) {
    const auto* i = v.as_integer();
    if (!i) {
        why = std::string("expected a number, found ") + TypeName(v);
        return false;
    }
    if (i->get() < low || i->get() > high) {
        why = std::to_string(i->get()) + " is out of range (" + std::to_string(low) + " to " +
              std::to_string(high) + ")";
        return false;
    }
    out = static_cast<std::int32_t>(i->get());
    return true;
}

int TestIndex(std::string_view name) {
    for (int i = 0; i < kServiceTestCount; ++i) {
        const char* known = kServiceTests[i].name;
        if (name.size() == std::strlen(known) &&
            strncasecmp(name.data(), known, name.size()) == 0) {
            return i;
        }
    }
    return -1;
}

std::int32_t KindOfTest(std::int32_t test) {
    switch (kServiceTests[test].port) {
        case kPortProcessName:
            return kSourceProcessName;
        case kPortProgram:
            return kSourceProgram;
        case kPortNoSource:
            return kSourceNone;
        default:
            return kSourceTcpPort;
    }
}

bool ReadField(const toml::node& v, const Field& f, ServiceItem& e, std::string& why) {
    constexpr std::int64_t kTop = std::numeric_limits<std::int32_t>::max();
    std::int32_t n = 0;
    switch (f.type) {
        case Type::kText: {
            std::string text;
            if (!ReadText(v, f.size, text, why)) return false;
            SetText(e, f, text);
            return true;
        }
        case Type::kTimeout: {
            if (v.is_integer()) {
                if (!ReadNumber(v, 0, kTop, n, why)) return false;
                SetText(e, f, std::to_string(n));
                return true;
            }
            std::string text;
            if (!ReadText(v, f.size, text, why)) return false;
            SetText(e, f, text);
            return true;
        }
        case Type::kCount:
            if (!ReadNumber(v, 0, kTop, n, why)) return false;
            SetInt(e, f, n);
            return true;
        case Type::kAnyNumber:
            if (!ReadNumber(v, std::numeric_limits<std::int32_t>::min(), kTop, n, why)) {
                return false;
            }
            SetInt(e, f, n);
            return true;
        case Type::kFlag:
            if (const auto* b = v.as_boolean()) {
                SetInt(e, f, b->get() ? 1 : 0);
                return true;
            }
            why = std::string("expected true or false, found ") + TypeName(v);
            return false;
        case Type::kTest: {
            const auto* s = v.as_string();
            const int index = s ? TestIndex(s->get()) : -1;
            if (index < 0) {
                why = s ? "no service test is called " + Quoted(s->get())
                        : std::string("expected the name of a service test, found ") + TypeName(v);
                return false;
            }
            SetInt(e, f, index);
            return true;
        }
        default: {
            const Names names = NamesOf(f.type);
            if (const auto* s = v.as_string()) {
                for (int i = 0; i < names.count; ++i) {
                    if (s->get() == names.names[i]) {
                        SetInt(e, f, i);
                        return true;
                    }
                }
            }
            why = "expected " + NameList(names);
            return false;
        }
    }
}

const Field* FieldNamed(std::string_view key) {
    static const auto* const byKey = [] {
        auto* m = new std::unordered_map<std::string_view, const Field*>;
        for (const Field& f : kFields) m->emplace(f.key, &f);
        return m;
    }();
    const auto it = byKey->find(key);
    return it == byKey->end() ? nullptr : it->second;
}

bool ReadEntry(const Table& t, int number, Reader& r, ServiceItem& e) {
    e = NewEntryTemplate();
    std::uint32_t given = 0;
    for (const auto& [key, value] : t) {
        const Field* f = FieldNamed(key.str());
        if (!f) {
            return r.Fail(key.source(), number, key.str(),
                          value.is_table() ? "unknown table" : "unknown key");
        }
        std::string why;
        if (!ReadField(value, *f, e, why)) return r.Fail(value.source(), number, key.str(), why);
        given |= 1u << (f - kFields);
    }
    const auto has = [&](int field) { return (given & (1u << field)) != 0; };
    const toml::source_region& header = t.source();
    const std::int32_t test = e.serviceTest;
    if (!has(kKindField)) e.sourceKind = KindOfTest(test);
    const bool network = IsNetworkKind(e.sourceKind);
    if (!has(kSourceField)) {
        const std::int32_t port = kServiceTests[test].port;
        if (e.sourceKind == kSourceNone) {
            SetText(e, kFields[kSourceField], "0");
        } else if (e.sourceKind == kSourceTcpPort && port >= 0) {
            SetText(e, kFields[kSourceField], std::to_string(port));
        } else {
            return r.Fail(
                header, number, "source",
                std::string("missing; a ") + kServiceTests[test].name + " entry needs one");
        }
    } else if (!network && e.source[0] == '\0') {
        return r.Fail(t["source"].node()->source(), number, "source",
                      "empty; a local entry needs a process name or program");
    }
    if (!has(kAddressField)) {
        if (network) {
            return r.Fail(header, number, "address",
                          "missing; a network entry needs a host name or address");
        }
        SetText(e, kFields[kAddressField], "Local Machine");
    } else if (network && e.address[0] == '\0') {
        return r.Fail(t["address"].node()->source(), number, "address",
                      "empty; a network entry needs a host name or address");
    }
    e.state = kStateUntested;
    return true;
}

}  // namespace

std::string ListToText(const EntryCollection& entries) {
    std::string out;
    out.reserve(256 + static_cast<std::size_t>(std::max(0, entries.rowCount)) * 900);
    out += "# The list of a Tarnwatch monitor, written by ";
    out += LoadString(IDS_VERSION_LINE);
    out +=
        ".\n"
        "# One [[entry]] table per entry, in the order of the list. Read it back with\n"
        "# tarnwatch --import FILE; an entry's keys left out take a new entry's values.\n";
    for (int row = 0; row < entries.rowCount; ++row) {
        const ServiceItem& e = entries.RecordAtRow(row);
        out += "\n[[entry]]\n";
        for (const Field& f : kFields) {
            out += f.key;
            out += " = ";
            AppendValue(out, e, f);
            out += '\n';
        }
    }
    return out;
}

bool ListFromText(std::string_view text, const std::string& name, EntryCollection& entries,
                  std::string& error) {
    entries.Clear();
    Reader r{name, error};
    toml::parse_result parsed = toml::parse(text);
    if (!parsed) {
        return r.Fail(parsed.error().source(), 0, "", std::string(parsed.error().description()));
    }
    const Table& root = parsed.table();
    const toml::array* list = nullptr;
    for (const auto& [key, value] : root) {
        if (key.str() != "entry") {
            return r.Fail(key.source(), 0, key.str(),
                          value.is_table() ? "unknown table; the list has [[entry]] tables only"
                                           : "unknown key; the list has [[entry]] tables only");
        }
        list = value.as_array();
        if (!list || !list->is_array_of_tables()) {
            return r.Fail(value.source(), 0, "entry",
                          "each entry is a table of its own: [[entry]]");
        }
    }
    if (!list || list->empty()) {
        error = name + ": holds no [[entry]] table";
        return false;
    }
    if (list->size() > static_cast<std::size_t>(kMaxTextEntries)) {
        error = name + ": holds " + std::to_string(list->size()) + " entries; at most " +
                std::to_string(kMaxTextEntries) + " are taken";
        return false;
    }
    const int count = static_cast<int>(list->size());
    if (!entries.Allocate(count)) {
        error = name + ": not enough memory for " + std::to_string(count) + " entries";
        return false;
    }
    for (int i = 0; i < count; ++i) {
        ServiceItem& e = entries.records[static_cast<std::size_t>(i)];
        if (!ReadEntry(*(*list)[static_cast<std::size_t>(i)].as_table(), i + 1, r, e)) {
            entries.Clear();
            return false;
        }
        e.row = i;
        entries.order[static_cast<std::size_t>(i)] = i;
    }
    entries.recordCount = entries.rowCount = count;
    entries.selectedRow = count - 1;
    return true;
}

}  // namespace tarnwatch
