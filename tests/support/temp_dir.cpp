#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/support/support_error.h"

namespace kestova::test {

TTempDir::TTempDir(const std::string& prefix) {
  std::string templ = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr)
    throw ETestSupportError(Format("Could not create a temporary folder %s: %s", templ, std::strerror(errno)));
  FPath = buffer.data();
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

std::string TTempDir::WriteFile(const std::string& name, std::string_view content) const {
  const std::string path = File(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) throw ETestSupportError(Format("Could not write %s", path));
  return path;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kestova::test
