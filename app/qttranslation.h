#pragma once

namespace velmor {

// Loads Qt's own Japanese texts (file dialogs, standard buttons) into the running
// application, whatever the locale, so every text the user sees is Japanese.
// Returns false when the translation is not installed; Qt's English stays then.
bool installQtJapanese();

}  // namespace velmor
