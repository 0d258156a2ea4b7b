// The options of the command line, one row each: what the scan reads for an
// option, what it sets, its line in --help and its key in the settings
// record. A new option is a new row.
#ifndef STAMPCAST_CLI_OPTION_TABLE_H_
#define STAMPCAST_CLI_OPTION_TABLE_H_

#include <cstddef>

#include "settings/run_config.h"

namespace stampcast {

// What an option reads: nothing, the leading integer of its value, or the
// value as typed; a Path too, but a path may begin with '/' as an option
// does, so the next word it takes is its value only, never an option.
enum class ValueKind { None, Integer, Text, Path };

// An option that ends the scan at once, and what it prints then.
enum class ScanEnd { None, Version, Usage };

// What the scan has made so far: the settings, and what is settled only
// once every word is read (the output form by name, whether -a was given),
// or the end an option asked for.
struct OptionScan {
  RunConfig config;
  const char* format = "text";
  bool intervals = false;
  ScanEnd end = ScanEnd::None;
};

// An option's value: the text as typed (empty without one) and, for an
// Integer option, its leading integer.
struct OptionValue {
  const char* text;
  int number;
};

struct OptionRow {
  char letter;            // the second character of the word, lower case
  ValueKind kind;
  const char* valueName;  // the value's name in --help; null without a value
  void (*set)(OptionScan& scan, const OptionValue& value);
  // Its line in --help; null for the options the classic usage shows.
  const char* help;
  // Its key in the settings record; null: the record does not show it.
  const char* key;
};

// The rows, in the order --help lists them.
struct OptionRows {
  const OptionRow* first;
  std::size_t count;
  const OptionRow* begin() const { return first; }
  const OptionRow* end() const { return first + count; }
};
OptionRows optionRows();

// The row of an option by the second character of its word, in any case;
// null when no option has that letter.
const OptionRow* findOption(char letter);

// Once every word is read: reads the load options (-b, -z, -n) into the
// settings, the size by the group's family and -m's trailer. Null when
// they hold; else the message's format and, at *offending, its value.
const char* settleLoad(RunConfig& config, const char** offending);

}  // namespace stampcast

#endif  // STAMPCAST_CLI_OPTION_TABLE_H_
