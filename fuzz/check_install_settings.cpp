// LoadInstallSettings from any registry bytes.  The settings load only when both
// values hold a NUL within 260 bytes and name something that exists; then both paths
// are in short form where one fits.  Otherwise a reason of the settings' own.
//
// Input: a byte saying which of the key, the values and the files are there, a byte
// for each file's short form, the LN_Appli value's length (two bytes, little-endian,
// at most 1023), its bytes, and the LN_Base value's bytes to the end.
#include "fuzz/check.h"
#include "job/install_settings.h"

namespace {

enum {
    NO_KEY = 1,
    NO_CLIENT_VALUE = 2,
    NO_DATABASE_VALUE = 4,
    CLIENT_MISSING = 8,
    DATABASE_MISSING = 16,
    CLIENT_DIRECTORY = 32,
    DATABASE_DIRECTORY = 64,
};

// The path a value gives: its text up to the first NUL when it fits the 260-byte
// buffer with that NUL; otherwise none, as for a missing value.
bool PathOf(const std::string &value, std::string *path)
{
    size_t nul = value.find('\0');
    if (value.size() > MAX_PATH || nul == std::string::npos)
        return false;
    *path = value.substr(0, nul);
    return true;
}

// The text a value's first MAX_PATH bytes hold, up to a NUL: what a reader that
// ignored the rules would take for the path.
std::string Cut(const std::string &value)
{
    std::string text = value.substr(0, MAX_PATH);
    return text.substr(0, text.find('\0'));
}

// Puts a file or directory at `path` with the short form `form` asks for, and returns
// what the program must end with: the short form when it fits, else the path.
std::string Place(const std::string &path, bool directory, unsigned form)
{
    // 0 and 1: the path is its own short form; 2: one of up to 316 chars; 3: none.
    std::string shortPath = (form & 3) == 2 ? "S" + std::string((size_t)(form >> 2) * 5, 's') : "";
    if (directory)
        AddDirectory(path, shortPath);
    else
        AddFile(path, "x", shortPath);
    if ((form & 3) == 3) {
        TheWorld().files[path].noShortForm = true;
        return path;
    }
    std::string result = shortPath.empty() ? path : shortPath;
    return result.size() < MAX_PATH ? result : path;
}

} // namespace

std::string CheckInstallSettings(const uint8_t *data, size_t size)
{
    FuzzInput in = {data, size};
    unsigned flags = in.Byte();
    unsigned clientForm = in.Byte();
    unsigned databaseForm = in.Byte();
    unsigned clientLength = in.Byte();
    clientLength |= in.Byte() << 8;
    std::string clientValue = in.Take(clientLength % 1024);
    std::string databaseValue = in.Take(in.size);

    ResetWorld();
    World &w = TheWorld();
    w.keyExists = (flags & NO_KEY) == 0;
    if ((flags & NO_CLIENT_VALUE) == 0)
        w.values["LN_Appli"] = clientValue;
    if ((flags & NO_DATABASE_VALUE) == 0)
        w.values["LN_Base"] = databaseValue;

    std::string clientPath, databasePath;
    bool clientRead = w.keyExists && (flags & NO_CLIENT_VALUE) == 0 &&
                      PathOf(clientValue, &clientPath) && !clientPath.empty();
    bool databaseRead = w.keyExists && (flags & NO_DATABASE_VALUE) == 0 &&
                        PathOf(databaseValue, &databasePath) && !databasePath.empty();
    // Files go where the values' texts point even when a value is unusable, so that
    // reading one anyway is seen.  When both name the same path, the client's file,
    // placed last, is the one there.
    std::map<std::string, std::string> placed;
    std::string databaseText = Cut(databaseValue), clientText = Cut(clientValue);
    if (!databaseText.empty() && (flags & DATABASE_MISSING) == 0)
        placed[databaseText] =
            Place(databaseText, (flags & DATABASE_DIRECTORY) != 0, databaseForm);
    if (!clientText.empty() && (flags & CLIENT_MISSING) == 0)
        placed[clientText] = Place(clientText, (flags & CLIENT_DIRECTORY) != 0, clientForm);
    std::string clientResult = clientRead && placed.count(clientPath) ? placed[clientPath] : "";
    std::string databaseResult =
        databaseRead && placed.count(databasePath) ? placed[databasePath] : "";
    bool accepted = !clientResult.empty() && !databaseResult.empty();

    static InstallSettings settings;
    memset(&settings, 0x5A, sizeof settings);     // no help from an earlier load
    Refusal why = {REFUSED_NOT, nullptr, 0};
    bool loaded = LoadInstallSettings(&settings, &why);

    Verdict v;
    if (accepted) {
        v.Expect(loaded && why.rule == REFUSED_NOT, "usable settings refused");
        if (clientResult != settings.clientPath)
            v.Fail("client path " + Printable(settings.clientPath) + ", expected " +
                   Printable(clientResult));
        if (databaseResult != settings.databasePath)
            v.Fail("database path " + Printable(settings.databasePath) + ", expected " +
                   Printable(databaseResult));
    } else {
        v.Expect(!loaded, "unusable settings accepted");
        v.Expect(why.rule >= REFUSED_KEY_MISSING && why.rule <= REFUSED_VALUE_NAMES_NOTHING,
                 "refused settings without a reason of the settings' own");
        v.Expect(EventsStartingWith("GetShortPathNameA").empty(),
                 "refused settings were shortened");
    }
    // The values are read into MAX_PATH buffers, never more.
    for (const std::string &e : EventsStartingWith("RegQueryValueExA")) {
        if (e != "RegQueryValueExA LN_Appli 260" && e != "RegQueryValueExA LN_Base 260")
            v.Fail("value read with a buffer size other than 260: " + e);
    }
    if (!v.failure.empty())
        v.failure += "\n  LN_Appli " + Printable(clientValue) + "\n  LN_Base " +
                     Printable(databaseValue);
    return v.failure;
}
