// "Update List": the recovery list rebuilt from the software-update catalog.
#pragma once

#include <cstdint>
#include <string>

#include "core/outcome.h"
#include "recovery/xml_stream.h"

namespace recovery {

// Downloads the catalog at SUCatalogURL, collects its Recovery HD products with their
// titles from two metadata files each, shows them in the Download Tool's list and saves
// the settings. Refused while another download (an update, a recovery or Clover
// download, the revision check) holds the download slot.
core::Outcome RunRecoveryListUpdate();

// The worker body started by "Update List"; the argument is not read.
void UpdateRecoveryList(int32_t argument);

// "Error in the XML file:" with the parser's message, line and character.
std::string XmlErrorText(const XmlError& error);

}  // namespace recovery
