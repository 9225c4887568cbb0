// HKEY_LOCAL_MACHINE: keys with subkeys and REG_SZ values, names compared case-blind and
// kept in the case they were created with, subkeys enumerated in name order.
#include "platform/sim/sim_state.h"

namespace pq {

namespace {


std::vector<std::string> keyComponents(const std::string& path) {
  std::vector<std::string> components;
  std::string current;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\') {
      current += path[i];
      continue;
    }
    if (!current.empty()) components.push_back(current);
    current.clear();
  }
  return components;
}

sim::RegistryNode* findNode(sim::RegistryNode& root, const std::vector<std::string>& components) {
  sim::RegistryNode* node = &root;
  for (const std::string& component : components) {
    const auto found = node->subkeys.find(asciiLower(component));
    if (found == node->subkeys.end()) return nullptr;
    node = found->second.get();
  }
  return node;
}

sim::RegistryNode& createNode(sim::RegistryNode& root, const std::vector<std::string>& components) {
  sim::RegistryNode* node = &root;
  for (const std::string& component : components) {
    std::unique_ptr<sim::RegistryNode>& child = node->subkeys[asciiLower(component)];
    if (!child) {
      child = std::make_unique<sim::RegistryNode>();
      child->name = component;
    }
    node = child.get();
  }
  return *node;
}

// An open key names its path, not its node, so that a key deleted while open is noticed
// (ERROR_KEY_DELETED) instead of leaving a dangling pointer.
class SimRegistryKey : public OsRegistryKey {
public:
  SimRegistryKey(SimOs& os, std::string path) : os(os), path(std::move(path)), components(keyComponents(this->path)) {}

  int32_t setString(const std::string& valueName, const std::string& value) override {
    if (const auto error = os.enterCall("setString", path + " " + valueName)) return static_cast<int32_t>(*error);
    sim::RegistryNode* node = nullptr;
    if (const int32_t error = openNode(&node)) return error;
    node->values[asciiLower(valueName)] = std::make_pair(valueName, value);
    return 0;
  }

  int32_t getString(const std::string& valueName, std::string* value) override {
    if (const auto error = os.enterCall("getString", path + " " + valueName)) return static_cast<int32_t>(*error);
    sim::RegistryNode* node = nullptr;
    if (const int32_t error = openNode(&node)) return error;
    const auto found = node->values.find(asciiLower(valueName));
    if (found == node->values.end()) return static_cast<int32_t>(kWinErrorFileNotFound);
    *value = found->second.second;
    return 0;
  }

  int32_t deleteValue(const std::string& valueName) override {
    if (const auto error = os.enterCall("deleteValue", path + " " + valueName)) return static_cast<int32_t>(*error);
    sim::RegistryNode* node = nullptr;
    if (const int32_t error = openNode(&node)) return error;
    if (node->values.erase(asciiLower(valueName)) == 0) return static_cast<int32_t>(kWinErrorFileNotFound);
    return 0;
  }

  int32_t subkeyCount(uint32_t* count) override {
    if (const auto error = os.enterCall("subkeyCount", path)) return static_cast<int32_t>(*error);
    sim::RegistryNode* node = nullptr;
    if (const int32_t error = openNode(&node)) return error;
    *count = static_cast<uint32_t>(node->subkeys.size());
    return 0;
  }

  int32_t enumerateSubkey(uint32_t index, std::string* name) override {
    if (const auto error = os.enterCall("enumerateSubkey", path + " " + std::to_string(index)))
      return static_cast<int32_t>(*error);
    sim::RegistryNode* node = nullptr;
    if (const int32_t error = openNode(&node)) return error;
    if (index >= node->subkeys.size()) return kWinErrorNoMoreItems;
    auto it = node->subkeys.begin();
    std::advance(it, index);
    *name = it->second->name;
    return 0;
  }

  int32_t close() override {
    if (closed) {
      os.logCall("close", path);
      return static_cast<int32_t>(kWinErrorInvalidHandle);
    }
    closed = true;
    if (const auto error = os.enterCall("close", path)) return static_cast<int32_t>(*error);
    return 0;
  }

private:
  int32_t openNode(sim::RegistryNode** node) {
    if (closed) return static_cast<int32_t>(kWinErrorInvalidHandle);
    *node = findNode(os.state().registryRoot, components);
    return *node == nullptr ? kWinErrorKeyDeleted : 0;
  }

  SimOs& os;
  std::string path;
  std::vector<std::string> components;
  bool closed = false;
};

} // namespace

int32_t SimOs::regCreateKey(const std::string& path, std::unique_ptr<OsRegistryKey>* key) {
  if (const auto error = enterCall("regCreateKey", path)) return static_cast<int32_t>(*error);
  createNode(internal->registryRoot, keyComponents(path));
  *key = std::make_unique<SimRegistryKey>(*this, path);
  return 0;
}

int32_t SimOs::regOpenKey(const std::string& path, std::unique_ptr<OsRegistryKey>* key) {
  if (const auto error = enterCall("regOpenKey", path)) return static_cast<int32_t>(*error);
  if (findNode(internal->registryRoot, keyComponents(path)) == nullptr)
    return static_cast<int32_t>(kWinErrorFileNotFound);
  *key = std::make_unique<SimRegistryKey>(*this, path);
  return 0;
}

int32_t SimOs::regDeleteKey(const std::string& path) {
  if (const auto error = enterCall("regDeleteKey", path)) return static_cast<int32_t>(*error);
  std::vector<std::string> components = keyComponents(path);
  if (components.empty()) return static_cast<int32_t>(kWinErrorAccessDenied); // the root stays
  sim::RegistryNode* node = findNode(internal->registryRoot, components);
  if (node == nullptr) return static_cast<int32_t>(kWinErrorFileNotFound);
  if (!node->subkeys.empty()) return static_cast<int32_t>(kWinErrorAccessDenied);
  const std::string last = asciiLower(components.back());
  components.pop_back();
  findNode(internal->registryRoot, components)->subkeys.erase(last);
  return 0;
}

// ---- Arranging and observing the registry ------------------------------------------------

bool SimOs::registryKeyExists(const std::string& path) const {
  return findNode(internal->registryRoot, keyComponents(path)) != nullptr;
}

std::optional<std::string> SimOs::registryValue(const std::string& path, const std::string& name) const {
  const sim::RegistryNode* node = findNode(internal->registryRoot, keyComponents(path));
  if (node == nullptr) return std::nullopt;
  const auto found = node->values.find(asciiLower(name));
  if (found == node->values.end()) return std::nullopt;
  return found->second.second;
}

void SimOs::putRegistryValue(const std::string& path, const std::string& name, const std::string& value) {
  createNode(internal->registryRoot, keyComponents(path)).values[asciiLower(name)] = std::make_pair(name, value);
}

void SimOs::putRegistryKey(const std::string& path) { createNode(internal->registryRoot, keyComponents(path)); }

std::vector<std::string> SimOs::registrySubkeys(const std::string& path) const {
  std::vector<std::string> names;
  const sim::RegistryNode* node = findNode(internal->registryRoot, keyComponents(path));
  if (node == nullptr) return names;
  for (const auto& [lower, child] : node->subkeys) names.push_back(child->name);
  return names;
}

} // namespace pq
