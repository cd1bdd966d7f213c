// The libFuzzer entry of one fuzz target; CMake names the target's class and header.
#include TAVREL_FUZZ_HEADER

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The fuzzer ends the process with exit(); Qt's own globals may already be gone by then, so
// the application and the target are never destroyed. Only the private folder is removed,
// without Qt.
TAVREL_FUZZ_CLASS *g_target = nullptr;
std::string g_home;

void removeHome()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_home, ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // A private settings and runtime folder, as every test of the program has.
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/tavrel-fuzz-XXXXXX"));
    home.setAutoRemove(false);
    g_home = QFile::encodeName(home.path()).toStdString();
    std::atexit(removeHome);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    qputenv("TMPDIR", QFile::encodeName(home.path())); // the targets' own scratch files go there too
    new QCoreApplication(*argc, *argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    QLocale::setDefault(QLocale::c());
    g_target = new TAVREL_FUZZ_CLASS();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    g_target->run(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
