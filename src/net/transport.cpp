#include "net/transport.h"

#include <string>

#include "net/api/api_transport.h"
#include "net/api/api_url.h"
#include "net/text_transport.h"

namespace tolvik {

const TransportTraits& TransportTraitsFor(std::string_view server) {
  return api::IsApiServer(std::string(server).c_str()) ? api::ApiTransport::kTraits : TextTransport::kTraits;
}

std::unique_ptr<Transport> MakeTransport(std::string_view server) {
  if (api::IsApiServer(std::string(server).c_str())) return std::make_unique<api::ApiTransport>();
  return std::make_unique<TextTransport>();
}

}  // namespace tolvik
