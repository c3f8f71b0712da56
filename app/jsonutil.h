// JSON request bodies and replies over jsoncpp.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <json/json.h>

#include "platform/cstring.h"

// A JSON object under construction: four member maps keyed by wide member name. The caller
// fills the maps directly; Write turns them into compact UTF-8 JSON.
class CjJsonCpp {
 public:
  virtual ~CjJsonCpp() = default;

  std::map<CString, CjJsonCpp> Objects;
  std::map<CString, CString> Texts;
  std::map<CString, std::vector<CString>> TextArrays;
  std::map<CString, std::vector<CjJsonCpp>> ObjectArrays;

  // Compact JSON without line breaks, members in jsoncpp's order (by name), non-ASCII text as
  // raw UTF-8. An object without members writes "null", and so does a nested empty object.
  virtual void Write(std::string& out) const;
  // The JSON value the maps describe (null when they are empty).
  Json::Value ToValue() const;
};

// A jsoncpp character-reader builder with default settings and the reader it made.
class CJsonCppReader {
 public:
  CJsonCppReader();
  // Deletes the reader, then the builder.
  virtual ~CJsonCppReader();
  CJsonCppReader(const CJsonCppReader&) = delete;
  CJsonCppReader& operator=(const CJsonCppReader&) = delete;

  virtual bool Init() { return true; }
  // Drops the reader; the next Parse makes a new one.
  virtual bool Reset();
  virtual void Idle() {}

  Json::CharReaderBuilder& Builder() { return *builder_; }
  // The reader, made by the builder on first use.
  Json::CharReader& Reader();
  // Parses the text into value; on failure false with jsoncpp's error text.
  bool Parse(const std::string& text, Json::Value& value, std::string& errors);

 private:
  Json::CharReaderBuilder* builder_;
  Json::CharReader* reader_ = nullptr;
};
