#include "cli/find_command.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "cli/site_record.h"
#include "cli/usage.h"
#include "core/byte_size.h"
#include "core/password_text.h"
#include "core/program_folders.h"
#include "core/url_text.h"
#include "index/export_writer.h"
#include "index/local_index.h"

namespace qb {

namespace {

struct FindOptions {
  FindQuery query;
  bool tsv = false;
  bool showPasswords = false;
};

int64_t Size(const std::string& text) {
  const std::optional<int64_t> size = ParseByteSize(text);
  if (!size) throw UsageError{"--min-size wants a size in bytes, or with K, M or G: " + text};
  return *size;
}

FindOptions ParseFind(int argc, char** argv) {
  FindOptions o;
  bool haveText = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&] { return OptionValue(argc, argv, i); };
    if (arg == "--ext") {
      o.query.extension = value();
      if (!o.query.extension.empty() && o.query.extension[0] == '.') o.query.extension.erase(0, 1);
    } else if (arg == "--min-size") {
      o.query.minSize = Size(value());
    } else if (arg == "--folders" || arg == "--files") {
      const FindKind kind = arg == "--folders" ? FindKind::Folders : FindKind::Files;
      if (o.query.kind != FindKind::All && o.query.kind != kind) {
        throw UsageError{"--folders and --files exclude each other"};
      }
      o.query.kind = kind;
    } else if (arg == "--format") {
      o.tsv = TsvFormat(value());
    } else if (arg == "--show-passwords") {
      o.showPasswords = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option " + arg};
    } else if (haveText) {
      throw UsageError{"find takes one text: " + arg};
    } else {
      o.query.text = arg;
      haveText = true;
    }
  }
  if (!haveText) throw UsageError{"find wants a text (\"\" for every name)"};
  return o;
}

// The server's bytes, where they differ from the names shown, are what another
// program must send for the entry.
std::string HitUrl(const FoundEntry& hit) {
  return FolderEntryUrl(hit.siteUrl, hit.serverFolder.empty() ? hit.folder : hit.serverFolder,
                        hit.serverName.empty() ? hit.name : hit.serverName, hit.isFolder);
}

}  // namespace

std::string JsonHitLine(const FoundEntry& hit) {
  return "{\"name\":" + JsonString(hit.name) + ",\"size\":" + std::to_string(hit.size) +
         ",\"date\":" + JsonString(hit.date) + ",\"folder\":" + (hit.isFolder ? "true" : "false") +
         ",\"path\":" + JsonString(hit.folder) + ",\"url\":" + JsonString(HitUrl(hit)) +
         ",\"site\":" + JsonString(EscapeUrl(hit.siteUrl)) +
         ",\"explored_at\":" + std::to_string(hit.exploredAt) + "}\n";
}

// The folder's path last: the columns scripts already cut keep their places.
std::string TsvHitLine(const FoundEntry& hit) {
  return TsvField(hit.name) + '\t' + std::to_string(hit.size) + '\t' + TsvField(hit.date) + '\t' +
         (hit.isFolder ? "1" : "0") + '\t' + TsvField(HitUrl(hit)) + '\t' +
         TsvField(EscapeUrl(hit.siteUrl)) + '\t' + std::to_string(hit.exploredAt) + '\t' +
         TsvField(hit.folder) + '\n';
}

int RunFind(int argc, char** argv) {
  const FindOptions o = ParseFind(argc, argv);
  // Without a home folder the path would name an index.db in the working folder.
  if (UserDataFolder().empty()) {
    Warn("no home folder for the local index: set HOME or XDG_DATA_HOME");
    return 1;
  }
  const std::string path = UserDataFolder() + IndexFileName;
  if (access(path.c_str(), F_OK) != 0) {
    Warn("no index yet at " + path + " (nothing explored, or KeepIndex=0)");
    return 1;
  }
  std::string error;
  IndexDb::Options readOnly;
  readOnly.readOnly = true;
  const std::unique_ptr<IndexDb> db = IndexDb::Open(path, error, readOnly);
  if (!db) {
    Warn(error);
    return 2;
  }
  bool written = true;
  int64_t hits = 0;
  db->Scan(
      o.query, 0, -1,
      [&](FoundEntry hit) {
        if (!o.showPasswords) hit.siteUrl = HidePassword(hit.siteUrl);
        const std::string line = o.tsv ? TsvHitLine(hit) : JsonHitLine(hit);
        written = std::fwrite(line.data(), 1, line.size(), stdout) == line.size();
        ++hits;
        return written;
      },
      error);
  if (!error.empty()) {
    Warn(error);
    return 2;
  }
  if (!written || std::fflush(stdout) != 0) {
    Warn("cannot write the output");
    return 2;
  }
  return hits > 0 ? 0 : 1;
}

}  // namespace qb
