// Registering the compiled-in resources with the store.
#include "resources/embedded.h"

#include <string_view>

#include "platform/textconv.h"

void RegisterEmbeddedResources() {
  for (const EmbeddedResource& r : EmbeddedResources()) {
    if (r.type == RT_STRING) {
      const std::string_view utf8(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size());
      RegisterStringResource(r.id, Utf8ToUtf16(utf8));
    } else {
      RegisterResource(r.type, r.id, r.bytes);
    }
  }
}
