// JSON Lines (-o json): one object a line, appended to a string the caller
// keeps, field by field as it goes; no tree is built.
#ifndef STAMPCAST_TIMESTAMP_REPORT_JSON_H_
#define STAMPCAST_TIMESTAMP_REPORT_JSON_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace stampcast {

// `text` as a JSON string, quoted and escaped: `"`, `\` and the control
// characters escaped, every byte that is not part of valid UTF-8 as U+FFFD.
void appendJsonString(std::string& out, const char* text, std::size_t length);

// A number of units of 10^-decimals (a delay in microseconds, with
// decimals 3, is milliseconds), with exactly that many decimals.
void appendScaled(std::string& out, std::int64_t value, int decimals);

class JsonRecord {
 public:
  // Starts the record: `{"type":"<type>"`.
  JsonRecord(std::string& out, const char* type);

  // Each writes `"name":` and a value; `open` starts an object, `openList`
  // a list whose items `item` starts, `close` ends either.
  void text(const char* name, const char* value);
  void text(const char* name, const std::string& value);
  void integer(const char* name, std::int64_t value);
  void count(const char* name, std::uint64_t value);  // unsigned, all 64 bits
  void scaled(const char* name, std::int64_t value, int decimals);
  void fixed(const char* name, double value);  // three decimals
  void boolean(const char* name, bool value);
  void null(const char* name);
  void open(const char* name);
  void openList(const char* name);
  void item();
  void close(char bracket = '}');
  // Ends the record and its line.
  void end();

  // `"name":` alone, for a value the caller appends to out.
  void key(const char* name);

  std::string& out;

 private:
  bool first_ = false;
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_JSON_H_
