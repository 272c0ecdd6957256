#include "command_spec.h"

#include <iterator>

namespace {

using K = ValueKind;
using N = Need;

constexpr AttributeSpec kStartProcess[] = {{u"NAME", K::DevicePath, N::Required}, {u"CMDLINE", K::Text, N::Optional}};
constexpr AttributeSpec kDestination[] = {{u"Destination", K::DevicePath, N::Required}};
constexpr AttributeSpec kSource[] = {{u"Source", K::DevicePath, N::Required}};
constexpr AttributeSpec kSourceDestination[] = {{u"Source", K::DevicePath, N::Required},
                                                {u"Destination", K::DevicePath, N::Required}};
constexpr AttributeSpec kFromTo[] = {{u"FROM", K::DevicePath, N::Required}, {u"TO", K::DevicePath, N::Required}};
constexpr AttributeSpec kLDAbsRename[] = {{u"ID", K::Id, N::Optional},
                                          {u"FROM", K::DevicePath, N::Required},
                                          {u"TO", K::DevicePath, N::Required},
                                          {u"EMPTY", K::Flag, N::Optional}};
constexpr AttributeSpec kLDRename[] = {{u"ID", K::Id, N::Optional},
                                       {u"FROM", K::FileName, N::Required},
                                       {u"TO", K::FileName, N::Required},
                                       {u"ROOT", K::DevicePath, N::Required}};
constexpr AttributeSpec kSwap[] = {{u"NAME", K::DevicePath, N::Required}};
constexpr AttributeSpec kDeleteRegKey[] = {{u"ID", K::Id, N::Optional},
                                           {u"root", K::RegRoot, N::Defaulted},
                                           {u"path", K::RegKey, N::Required},
                                           {u"name", K::RegName, N::Required}};
constexpr AttributeSpec kCreateRegValue[] = {{u"root", K::RegRoot, N::Defaulted},
                                             {u"path", K::RegKey, N::Required},
                                             {u"name", K::RegName, N::Required},
                                             {u"type", K::RegType, N::Defaulted},
                                             {u"Data", K::RegData, N::Required}};
constexpr AttributeSpec kDeleteRegValue[] = {{u"root", K::RegRoot, N::Defaulted},
                                             {u"path", K::RegKey, N::Required},
                                             {u"name", K::RegName, N::Required}};
constexpr AttributeSpec kBaseUpdate[] = {{u"data", K::DevicePath, N::Required}};
constexpr AttributeSpec kMsg[] = {{u"text", K::Text, N::Required}};

template <size_t Count>
constexpr CommandSpec Spec(const AttributeSpec (&attributes)[Count], bool childData = false) {
    return {attributes, Count, childData, true};
}

}  // namespace

const CommandSpec kSpecNone = {nullptr, 0, false, true};
const CommandSpec kSpecNoEffect = {nullptr, 0, false, false};
const CommandSpec kSpecStartProcess = Spec(kStartProcess);
const CommandSpec kSpecCreateDirectory = Spec(kDestination);
const CommandSpec kSpecRemoveDirectory = Spec(kSource);
const CommandSpec kSpecCopyFile = Spec(kSourceDestination);
const CommandSpec kSpecDeleteFile = Spec(kSource);
const CommandSpec kSpecCopyTo = Spec(kFromTo);
const CommandSpec kSpecLDAbsRename = Spec(kLDAbsRename);
const CommandSpec kSpecLDRename = Spec(kLDRename);
const CommandSpec kSpecSwap = Spec(kSwap);
const CommandSpec kSpecDeleteRegKey = Spec(kDeleteRegKey);
const CommandSpec kSpecCreateRegValue = Spec(kCreateRegValue, true);
const CommandSpec kSpecDeleteRegValue = Spec(kDeleteRegValue);
const CommandSpec kSpecBaseUpdate = Spec(kBaseUpdate);
const CommandSpec kSpecMsg = Spec(kMsg);
