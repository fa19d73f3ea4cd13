// Reads every entry of a large bzip2 package through entry streams in 16384-byte chunks, as the
// installation run does, and compares the throughput with decoding the same streams in one
// libbz2 call each. Both are measured in the same run; the best of several rounds is reported.
#include <bzlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "manifest.h"
#include "package/archive.h"
#include "package/header.h"
#include "package_writer.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Text-like, structured, noisy and repetitive content: the mix a real product ships.
std::vector<char> content(size_t size, int kind, std::mt19937& random) {
  static const char* words[] = {"install", "setup", "the",   "folder", "file",  "of",     "and",
                                "program", "data",  "level", "sound",  "music", "player", "a"};
  std::vector<char> out;
  out.reserve(size);
  while (out.size() < size) {
    switch (kind % 4) {
      case 0: {
        const char* w = words[random() % 14];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
        out.push_back(random() % 9 ? ' ' : '\n');
        break;
      }
      case 1: {
        uint32_t v = static_cast<uint32_t>(out.size() / 4 * 3 + random() % 4);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
        break;
      }
      case 2:
        out.push_back(static_cast<char>(random()));
        break;
      default:
        out.insert(out.end(), 1 + random() % 200, static_cast<char>(random() % 4));
        break;
    }
  }
  out.resize(size);
  return out;
}

double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

// archive_throughput [MIB] [--keep PACKAGE]: with --keep the package is left at PACKAGE for the
// installation benchmark under Wine.
int main(int argc, char** argv) {
  size_t mib = 64;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--keep" && i + 1 < argc)
      keep = argv[++i];
    else
      mib = std::strtoul(argv[i], nullptr, 10);
  }
  fs::path dir =
      fs::temp_directory_path() / ("qz-bench-archive-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir / "payload");
  std::mt19937 random(2026);

  std::string manifest =
      "title = \"Bench\"\nsource = \"payload\"\n[[component]]\nname = \"All\"\nfiles = [";
  size_t total = 0;
  for (int i = 0; total < mib << 20; ++i) {
    size_t size = (i % 5 == 0) ? (6u << 20) : (1u << 16) + random() % (3u << 20);
    std::vector<char> bytes = content(size, i, random);
    std::string name = "file" + std::to_string(i) + ".bin";
    std::ofstream(dir / "payload" / name, std::ios::binary).write(bytes.data(), bytes.size());
    manifest += (i ? ", \"" : "\"") + name + "\"";
    total += size;
  }
  manifest += "]\n";
  std::ofstream(dir / "manifest.toml") << manifest;
  std::vector<unsigned char> stub(512, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  stub[0x3C] = 128;
  stub[128] = 'P';
  stub[129] = 'E';
  std::ofstream(dir / "stub.exe", std::ios::binary)
      .write(reinterpret_cast<char*>(stub.data()), stub.size());

  auto packStart = Clock::now();
  qzpack::buildPackage(qzpack::readManifest(dir / "manifest.toml"), dir / "stub.exe",
                       dir / "bench.exe");
  double packSeconds = seconds(Clock::now() - packStart);
  std::string package = (dir / "bench.exe").string();
  std::printf("package: %.1f MiB of content, %.1f MiB on disk (packed in %.1f s)\n",
              total / 1048576.0, fs::file_size(package) / 1048576.0, packSeconds);

  if (readSetupHeader(package.c_str(), true, nullptr) != headerOk) return 1;
  ArchiveReader* reader = openArchive(package.c_str(), header.archiveOffset);
  if (!reader || reader->status != archiveOk) return 1;

  // The stored streams, in memory, for the one-call decode (loaded before timing).
  std::vector<std::vector<char>> stored(reader->count);
  {
    std::ifstream in(package, std::ios::binary);
    std::vector<uint32_t> starts(reader->offsets, reader->offsets + reader->count);
    std::sort(starts.begin(), starts.end());
    uint64_t end = fs::file_size(package);
    for (int32_t i = 0; i < reader->count; ++i) {
      auto next = std::upper_bound(starts.begin(), starts.end(), reader->offsets[i]);
      uint64_t length = (next == starts.end() ? end : *next) - reader->offsets[i];
      stored[i].resize(length);
      in.seekg(reader->offsets[i]);
      in.read(stored[i].data(), static_cast<std::streamsize>(length));
    }
  }
  std::vector<char> chunk(16384), whole;

  double bestStream = 1e9, bestOneCall = 1e9;
  for (int round = 0; round < 3; ++round) {
    auto start = Clock::now();
    uint64_t bytes = 0;
    for (int32_t i = 0; i < reader->count; ++i) {
      EntryStream* s = openEntry(reader, reader->names[i]);
      while (!entryAtEnd(s)) {
        int32_t got = readEntry(s, chunk.data(), 16384);
        if (got == 0) break;
        bytes += got;
      }
      if (entryFailed(s)) {
        std::fprintf(stderr, "entry %d failed\n", i);
        return 1;
      }
      closeEntry(s);
    }
    bestStream = std::min(bestStream, seconds(Clock::now() - start));
    if (bytes != total) {
      std::fprintf(stderr, "read %llu of %zu bytes\n", (unsigned long long)bytes, total);
      return 1;
    }

    start = Clock::now();
    for (int32_t i = 0; i < reader->count; ++i) {
      whole.resize(static_cast<size_t>(reader->sizes[i]) + 1);
      unsigned int length = static_cast<unsigned int>(whole.size());
      int ret = BZ2_bzBuffToBuffDecompress(whole.data(), &length, stored[i].data(),
                                           static_cast<unsigned int>(stored[i].size()), 0, 0);
      if (ret != BZ_OK || length != static_cast<unsigned int>(reader->sizes[i])) {
        std::fprintf(stderr, "one-call decode of entry %d failed (%d)\n", i, ret);
        return 1;
      }
    }
    bestOneCall = std::min(bestOneCall, seconds(Clock::now() - start));
  }
  double mibTotal = total / 1048576.0;
  std::printf("entries: %d\n", reader->count);
  std::printf("entry streams, 16384-byte chunks: %.3f s, %.1f MiB/s\n", bestStream,
              mibTotal / bestStream);
  std::printf("one libbz2 call per stream:       %.3f s, %.1f MiB/s\n", bestOneCall,
              mibTotal / bestOneCall);
  std::printf("throughput ratio (streams / one call): %.3f (best of 3 rounds each)\n",
              bestOneCall / bestStream);
  freeArchive(reader);
  freeSetupHeader();
  if (!keep.empty()) fs::copy_file(package, keep, fs::copy_options::overwrite_existing);
  fs::remove_all(dir);
  return 0;
}
