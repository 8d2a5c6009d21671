// Runs the template commands of a collection's controller once per virtual
// controller, each in a section of its own.
#pragma once

#include <string>

#include "core/collection.h"

namespace phases {

// Fills "VZNAME" and "VZPATH" in one pass, so a name or path that itself
// holds a placeholder is taken literally.
std::string expand_template(const std::string& text, const std::string& name,
                            const std::string& path);

// `phase_word` is "PRESTATS" or "POSTSTATS".
void expand_virtual_controllers(core::Collection& collection, const std::string& phase_word);

}  // namespace phases
