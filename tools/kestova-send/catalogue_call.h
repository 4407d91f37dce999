#pragma once
// kestova-send --op: an operation of the MQTT manager's outbound catalogue called by its name,
// with its arguments given in the order the operation takes them: text as given, integers in
// decimal, Booleans as true or false, the support mode as 0 or 1. Only the operations whose
// arguments are all of these kinds can be called this way (not those taking lists, files or
// key cards).
//
// Threads: CallCatalogueOperation runs where the manager may run (the main thread).
#include <cstddef>
#include <string>
#include <vector>

namespace kestova {

class TMqttManager;

// Take the operation's arguments from `args`, which follow the operation's name at `at`, into
// `arguments`, and leave `at` on the last one taken. Returns what is wrong (an unknown
// operation, too few arguments, one of the wrong form), or empty.
std::string TakeCatalogueArguments(const std::string& operation, const std::vector<std::string>& args, std::size_t& at,
                                   std::vector<std::string>& arguments);
// Call the operation (checked before) on the manager; the manager's errors pass on.
void CallCatalogueOperation(TMqttManager& manager, const std::string& operation,
                            const std::vector<std::string>& arguments);
// One line per operation, after `indent`: its name and its arguments.
std::string CatalogueSynopsis(const std::string& indent);

}  // namespace kestova
