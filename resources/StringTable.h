// The program's string table: fixed texts by id.
#pragma once

#include <string>

// The text of a string-table entry; an id that is not in the table raises 5.
std::string LoadResString(int id);
