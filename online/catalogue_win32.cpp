#include "online/catalogue.h"

#include "online/http_fetch.h"
#include "online/service_host.h"

namespace kavi {

bool LoadCatalogue() {
  HttpTextClient client;
  return LoadCatalogue(client, ServiceUrl(), Catalogue());
}

}  // namespace kavi
