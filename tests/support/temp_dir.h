#pragma once
// A fresh folder under the system's temporary directory, removed with everything in it when
// the object goes.
#include <string>
#include <string_view>

namespace kestova::test {

class TTempDir {
 public:
  explicit TTempDir(const std::string& prefix = "kestova-test");
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const noexcept { return FPath; }
  // Path of `name` inside the folder.
  std::string File(const std::string& name) const { return FPath + "/" + name; }
  // Write `content` to `name` inside the folder (replacing it) and return its path.
  std::string WriteFile(const std::string& name, std::string_view content) const;

 private:
  std::string FPath;
};

// The bytes of the file at `path`; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace kestova::test
