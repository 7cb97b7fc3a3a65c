#pragma once

#include <string>
#include <string_view>

#include "engine/FileChange.h"

// One change as one JSON object on one line: "slot" names the engine's slot, the other
// keys are the slot's arguments by name (texts as UTF-8, numbers in decimal, the time as
// its FILETIME value), for example
//   {"slot":"OnRenamed","oldName":"a.txt","newName":"b.txt","dir":"C:\\data\\",
//    "time":133594620873456789,"attributes":32}
std::string ChangeJsonLine(const FileChange& change);
