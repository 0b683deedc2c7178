#include "platform/registry/registry.h"

#include <cstring>
#include <memory>

#include "platform/path/utf.h"
#include "platform/registry/store.h"

namespace tevalo::registry {

struct OpenKey {
  std::shared_ptr<const Store> store;
  std::u16string path;  // canonical
};

namespace {

std::optional<std::u16string> RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return u"HKEY_CLASSES_ROOT";
  if (root == HKEY_CURRENT_USER) return u"HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return u"HKEY_LOCAL_MACHINE";
  return std::nullopt;
}

bool IsRoot(HKEY k) { return RootName(k).has_value(); }

}  // namespace

int32_t RegOpenKeyExW(HKEY root, const char16_t* subKey, uint32_t, uint32_t, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::shared_ptr<const Store> store;
  std::u16string base;
  if (auto name = RootName(root)) {
    store = std::make_shared<const Store>(Store::Load(StorePath()));
    base = *name;
  } else if (root) {
    store = root->store;
    base = root->path;
  } else {
    return ERROR_INVALID_HANDLE;
  }
  std::u16string path = base;
  if (subKey && *subKey) {
    path = Store::CanonicalKey(base + u"\\" + subKey);
    if (!store->HasKey(path)) return ERROR_FILE_NOT_FOUND;
  }
  *result = new OpenKey{std::move(store), std::move(path)};
  return ERROR_SUCCESS;
}

int32_t RegQueryValueExW(HKEY key, const char16_t* name, uint32_t* reserved, uint32_t* type, uint8_t* data,
                         uint32_t* cbData) {
  if (!key || IsRoot(key)) return ERROR_INVALID_HANDLE;
  if (reserved || (data && !cbData)) return ERROR_INVALID_PARAMETER;
  const auto v = key->store->Get(key->path, name ? std::u16string_view(name) : std::u16string_view());
  if (!v) return ERROR_FILE_NOT_FOUND;
  std::u16string text;
  uint32_t needed = 4;
  if (v->type == Value::Type::kString) {
    text = v->text;
    text.push_back(u'\0');
    needed = static_cast<uint32_t>(text.size() * sizeof(char16_t));
  }
  if (type) *type = v->type == Value::Type::kString ? REG_SZ : REG_DWORD;
  if (!cbData) return ERROR_SUCCESS;
  if (!data) {
    *cbData = needed;
    return ERROR_SUCCESS;
  }
  if (*cbData < needed) {
    *cbData = needed;
    return ERROR_MORE_DATA;
  }
  if (v->type == Value::Type::kString) {
    for (size_t i = 0; i < text.size(); ++i) {  // UTF-16LE whatever the host
      data[2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
      data[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
    }
  } else {
    for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(v->number >> (8 * i));
  }
  *cbData = needed;
  return ERROR_SUCCESS;
}

int32_t RegDeleteValueW(HKEY key, const char16_t* name) {
  if (!key || IsRoot(key)) return ERROR_INVALID_HANDLE;
  return key->store->Get(key->path, name ? std::u16string_view(name) : std::u16string_view())
             ? ERROR_ACCESS_DENIED
             : ERROR_FILE_NOT_FOUND;
}

int32_t RegCloseKey(HKEY key) {
  if (!key) return ERROR_INVALID_HANDLE;
  if (!IsRoot(key)) delete key;
  return ERROR_SUCCESS;
}

std::optional<std::u16string> ReadString(std::u16string_view keyPath, std::u16string_view name) {
  const auto v = Store::Load(StorePath()).Get(keyPath, name);
  if (!v || v->type != Value::Type::kString) return std::nullopt;
  return v->text;
}

std::optional<uint32_t> ReadDword(std::u16string_view keyPath, std::u16string_view name) {
  const auto v = Store::Load(StorePath()).Get(keyPath, name);
  if (!v || v->type != Value::Type::kDword) return std::nullopt;
  return v->number;
}

std::optional<std::string> FindSourceElement(std::u16string_view s) {
  std::u16string key;
  // A protocol is at least two characters before ":", so "C:\x.rec" is still a file.
  const size_t colon = s.find(u':');
  bool protocol = colon != std::u16string_view::npos && colon >= 2;
  for (size_t i = 0; protocol && i < colon; ++i) {
    const char16_t c = s[i];
    const bool alpha = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
    if (!(alpha || (i > 0 && other))) protocol = false;
  }
  if (protocol) {
    key = u"HKEY_CLASSES_ROOT\\" + std::u16string(s.substr(0, colon));
  } else {
    const size_t sep = s.find_last_of(u"/\\");
    const size_t dot = s.rfind(u'.');
    if (dot == std::u16string_view::npos || (sep != std::u16string_view::npos && dot < sep))
      return std::nullopt;
    key = std::u16string(kExtensionsKey) + u"\\" + std::u16string(s.substr(dot));
  }
  const auto v = ReadString(key, kSourceFilterValue);
  if (!v || v->empty()) return std::nullopt;
  return text::ToUtf8(*v);
}

}  // namespace tevalo::registry
