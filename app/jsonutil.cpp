#include "app/jsonutil.h"

Json::Value CjJsonCpp::ToValue() const {
  Json::Value v;  // null until a member is set
  for (const auto& [name, text] : Texts) v[name.ToUtf8()] = text.ToUtf8();
  for (const auto& [name, list] : TextArrays) {
    for (const CString& text : list) v[name.ToUtf8()].append(text.ToUtf8());
  }
  for (const auto& [name, obj] : Objects) v[name.ToUtf8()] = obj.ToValue();
  for (const auto& [name, list] : ObjectArrays) {
    for (const CjJsonCpp& obj : list) v[name.ToUtf8()].append(obj.ToValue());
  }
  return v;
}

void CjJsonCpp::Write(std::string& out) const {
  Json::StreamWriterBuilder b;
  b["indentation"] = "";
  b["emitUTF8"] = true;
  out = Json::writeString(b, ToValue());
}

CJsonCppReader::CJsonCppReader() : builder_(new Json::CharReaderBuilder) {}

CJsonCppReader::~CJsonCppReader() {
  delete reader_;
  delete builder_;
}

bool CJsonCppReader::Reset() {
  delete reader_;
  reader_ = nullptr;
  return true;
}

Json::CharReader& CJsonCppReader::Reader() {
  if (!reader_) reader_ = builder_->newCharReader();
  return *reader_;
}

bool CJsonCppReader::Parse(const std::string& text, Json::Value& value, std::string& errors) {
  errors.clear();
  return Reader().parse(text.data(), text.data() + text.size(), &value, &errors);
}
