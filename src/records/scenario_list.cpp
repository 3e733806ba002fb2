#include "records/scenario_list.h"

#include <filesystem>
#include <utility>

#include "core/text_util.h"
#include "core/user_messages.h"

namespace skyh {
namespace {

// A line without its two-character prefix; lines shorter than that leave
// nothing.
std::string_view AfterPrefix(const std::string& line) {
  return line.size() > 2 ? std::string_view(line).substr(2) : std::string_view();
}

// Two hexadecimal digits at `pos`; a missing digit counts as 0.
uint8_t HexPair(std::string_view text, size_t pos) {
  int high = pos < text.size() ? HexDigitValue(text[pos]) : 0;
  int low = pos + 1 < text.size() ? HexDigitValue(text[pos + 1]) : 0;
  return static_cast<uint8_t>(16 * high + low);
}

std::shared_ptr<CScnType> ParseScenarioLine(const std::string& line) {
  std::vector<std::string> fields = SplitFields(line, ",");
  if (fields.size() < 5) return nullptr;
  auto scn = std::make_shared<CScnType>();
  scn->number = static_cast<uint16_t>(ParseNumberField(AfterPrefix(fields[0])));
  const std::string& type = fields[1];
  if (type.size() >= 2 && (type[0] == '0') && (type[1] == 'x' || type[1] == 'X')) scn->type = HexPair(type, 2);
  scn->name = fields[2];
  scn->description = fields[3];
  scn->length = static_cast<uint16_t>(ParseNumberField(fields[4]));
  return scn;
}

void ParseRangeLine(const std::string& line, CScnType& scn) {
  std::vector<std::string> fields = SplitFields(AfterPrefix(line), "-");
  if (fields.size() != 2) return;
  scn.idRanges.push_back(fields[0]);
  scn.idRanges.push_back(fields[1]);
}

void ParseConditionLine(const std::string& line, CScnType& scn) {
  std::vector<std::string> fields = SplitFields(AfterPrefix(line), ",");
  ScnCondition c;
  // A "BEQ" without its offset and value stays inert.
  if (fields.size() >= 3 && fields[0] == "BEQ") {
    c.kind = 1;
    c.offset = static_cast<uint16_t>(ParseNumberField(fields[1]));
    c.value = static_cast<uint8_t>(ParseNumberField(fields[2]));
  }
  scn.conditions.push_back(c);
}

void ApplyOption(const std::string& option, ScnElementDef& d) {
  std::vector<std::string> parts = SplitFields(option, "=");
  if (parts.size() != 2) return;
  const std::string& key = parts[0];
  const std::string& value = parts[1];
  if (key == "D") {
    if (value == "CHAR") {
      d.format = kFormatChar;
    } else if (value == "HEX") {
      d.format = kFormatHex;
    } else {
      d.format = kFormatNumber;
      d.decimals = ParseNumberField(value);
    }
  } else if (key == "DIV") {
    d.divisor = ParseNumberField(value);
  } else if (key == "MUL") {
    d.multiplier = ParseNumberField(value);
  } else if (key == "SEP") {
    d.suffix = HexPair(value, 0);
  }
}

enum class ElementLine { kAdded, kSkipped, kUnknownType };

ElementLine ParseElementLine(const std::string& line, CScnType& scn) {
  std::vector<std::string> fields = SplitFields(AfterPrefix(line), ",");
  if (fields.size() < 2) return ElementLine::kSkipped;
  int32_t code = DecodeTypeFromKeyword(fields[0]);
  if (code == 0) {
    ShowMessage(MessageKind::Error, "Unknown decode type \"" + fields[0] + "\" in ScnList.dat");
    return ElementLine::kUnknownType;
  }
  ScnElementDef d;
  d.decodeType = code;
  d.width = DecodeTypeWidth(code);
  d.offset = static_cast<uint16_t>(ParseNumberField(fields[1]));
  for (size_t i = 2; i < fields.size(); ++i) ApplyOption(fields[i], d);
  scn.elements.push_back(d);
  return ElementLine::kAdded;
}

}  // namespace

bool ClistScn::Load(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::vector<std::string> lines;
  if (!ReadTextLines(path, lines)) return false;
  LoadLines(lines);
  return true;
}

bool ClistScn::LoadText(std::string_view text) {
  LoadLines(SplitTextLines(text));
  return true;
}

void ClistScn::LoadLines(const std::vector<std::string>& lines) {
  scenarios_.clear();
  std::shared_ptr<CScnType> current;
  for (const std::string& line : lines) {
    switch (line[0]) {
      case 'S':
        if (current) scenarios_.push_back(std::move(current));
        current = ParseScenarioLine(line);
        break;
      case 'I':
        if (current) ParseRangeLine(line, *current);
        break;
      case 'C':
        if (current) ParseConditionLine(line, *current);
        break;
      case 'E':
        if (current && ParseElementLine(line, *current) == ElementLine::kUnknownType) {
          scenarios_.push_back(std::move(current));
          return;
        }
        break;
      default:
        break;  // comment
    }
  }
  if (current) scenarios_.push_back(std::move(current));
}

std::shared_ptr<const CScnType> ClistScn::Find(std::string_view key, const uint8_t* record, size_t length) const {
  for (const auto& scn : scenarios_) {
    if (scn->Matches(key, record, length)) return scn;
  }
  return nullptr;
}

std::shared_ptr<const ClistScn> SharedScenarioList::Snapshot() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return current_;
}

bool SharedScenarioList::Load(const std::string& path) {
  auto fresh = std::make_shared<ClistScn>();
  if (!fresh->Load(path)) return false;
  Replace(std::move(fresh));
  return true;
}

bool SharedScenarioList::LoadText(std::string_view text) {
  auto fresh = std::make_shared<ClistScn>();
  fresh->LoadText(text);
  Replace(std::move(fresh));
  return true;
}

void SharedScenarioList::Clear() { Replace(std::make_shared<const ClistScn>()); }

void SharedScenarioList::Replace(std::shared_ptr<const ClistScn> list) {
  std::shared_ptr<const ClistScn> old;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    old = std::exchange(current_, std::move(list));
  }
  // The old list is freed outside the lock (or later, by its last reader).
}

SharedScenarioList& GetScenarioList() {
  static SharedScenarioList list;
  return list;
}

}  // namespace skyh
