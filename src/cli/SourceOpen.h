// Opening a command's source the way the window does.
#pragma once

#include <string>

class CTavirelDoc;

// Loads file into doc; "" when it opened, else the message saying why it cannot
// ("FILE: cannot be read as a source (error N: why)").
std::string LoadSourceFor(CTavirelDoc& doc, const std::string& file);
