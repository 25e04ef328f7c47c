#include "usergaiji.h"

#include <cstdlib>
#include <utility>

#include "document/errors.h"
#include "document/loadsave.h"
#include "messages.h"

namespace velmor {

void useGaijiTable(Workspace& ws, GaijiTable table) {
    ws.gaiji = std::move(table);
    if (ws.gaiji.empty()) {
        ws.gaijiTables.reset();
        ws.scan.tables = PairTables{};
    } else {
        ws.gaijiTables = std::make_shared<const GaijiPairTables>(ws.gaiji);
        ws.scan.tables = ws.gaijiTables->tables();
    }
}

std::string userGaijiTablePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        folder = std::string(home) + "/.config";
    } else {
        return {};
    }
    return folder + "/velmor-kanji/gaiji.tsv";
}

void loadUserGaijiTable(Workspace& ws) {
    const std::string path = userGaijiTablePath();
    if (path.empty() || !fileExists(path)) return;
    // The error says what follows from it: the program goes on without a table.
    const std::string without = std::string("\r\n") + kMsgNoGaijiTable;
    try {
        useGaijiTable(ws, loadGaijiTable(path));
    } catch (const EGaijiTableError& error) {
        throw EGaijiTableError(error.message() + without, error.FileName, error.Line, error.Problem,
                               error.Field, error.EarlierLine);
    } catch (const EInOutError& error) {
        throw EInOutError(error.ErrorCode, error.message() + without, error.FileName,
                          error.SystemError, error.KeptCopy);
    }
}

}  // namespace velmor
