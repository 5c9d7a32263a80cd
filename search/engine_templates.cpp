#include "search/engine_templates.h"

#include <algorithm>

#include "core/text_helpers.h"
#include "search/site_list.h"

namespace qb {

namespace {

EngineDef JsonSource(const char* name, const char* host, const char* url, const char* items,
                     const char* site) {
  EngineDef e;
  e.name = name;
  e.host = host;
  e.url = url;
  e.rule = ResultRule::Json;
  e.items = items;
  e.site = site;
  // Every page asked for costs the user's quota.
  e.pageLimit = 5;
  return e;
}

std::vector<EngineTemplate> MakeTemplates() {
  std::vector<EngineTemplate> all;
  // Host search of FTP services, a page number at a time; the key goes in the URL.
  EngineDef devices =
      JsonSource("DeviceSearch", "api.shodan.io",
                 "https://{host}/shodan/host/search?key={key}&query={term}%20port%3A21&page={page}",
                 "matches", "ftp://{ip_str}:{port}/");
  devices.firstPage = 1;
  all.push_back({"Device search API, hosts with FTP (Shodan; needs a key)", devices});
  // Host search paged by a cursor; basic authentication with the API id and secret.
  EngineDef hosts =
      JsonSource("HostSearch", "search.censys.io",
                 "https://{host}/api/v2/hosts/search?q={term}%20and%20services.service_name%3AFTP"
                 "&per_page=100&cursor={cursor}",
                 "result.hits", "ftp://{ip}/");
  hosts.auth = EngineAuth::Basic;
  hosts.nextFrom = "result.links.next";
  all.push_back({"Host search API, paged by cursor (Censys; needs id:secret)", hosts});
  // Open directories already found by others: an Elasticsearch search.
  EngineDef open = JsonSource("OpenDirectories", "search.odcrawler.xyz",
                              "https://{host}/elastic/links/_search", "hits.hits", "{_source.url}");
  open.method = "POST";
  open.contentType = "application/json";
  open.body =
      "{\"query\":{\"bool\":{\"must\":[{\"match\":{\"url\":\"{jsonterm}\"}},"
      "{\"prefix\":{\"url\":\"ftp://\"}}]}},\"from\":{page},\"size\":100}";
  open.pageStep = 100;
  all.push_back({"Open-directory index (ODCrawler)", open});
  for (const EngineDef& list : BuiltinSiteLists()) all.push_back({"Site list: " + list.name, list});
  for (const EngineDef& engine : BuiltinEngines())
    all.push_back({"Built-in engine: " + engine.name, engine});
  return all;
}

}  // namespace

const std::vector<EngineTemplate>& EngineTemplates() {
  static const std::vector<EngineTemplate> all = MakeTemplates();
  return all;
}

std::string FreeEngineName(const std::string& name, const std::vector<std::string>& taken) {
  const auto free = [&](const std::string& candidate) {
    return std::none_of(taken.begin(), taken.end(),
                        [&](const std::string& t) { return EqualNoCase(t, candidate); });
  };
  if (free(name)) return name;
  for (int n = 2;; ++n) {
    std::string candidate = name + " " + std::to_string(n);
    if (free(candidate)) return candidate;
  }
}

}  // namespace qb
