#pragma once
// A small option reader for the subcommands: "--name value", "--name=value",
// "--flag" and positional arguments.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace skyh::cli {

class CliOptions {
 public:
  // `withValue`: options that take a value; `flags`: options without one.
  CliOptions(const std::vector<std::string>& args, const std::set<std::string>& withValue,
             const std::set<std::string>& flags);

  bool Ok() const { return error.empty(); }
  // The first problem found ("unknown option --x", "--port needs a value").
  const std::string& Error() const { return error; }

  bool Has(const std::string& name) const { return values.count(name) != 0; }
  std::string Value(const std::string& name, const std::string& def = "") const;
  const std::vector<std::string>& Positional() const { return positional; }

 private:
  std::map<std::string, std::string> values;
  std::vector<std::string> positional;
  std::string error;
};

// Takes "--NAME VALUE" ("--NAME=VALUE") out of `args` wherever it stands,
// before or after the command; the last one given wins. False with `error`
// when one lacks its value.
bool TakeGlobalOption(std::vector<std::string>& args, const std::string& name, std::optional<std::string>& value,
                      std::string& error);

}  // namespace skyh::cli
