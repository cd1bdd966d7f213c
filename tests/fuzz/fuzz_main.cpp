// The libFuzzer entry of one fuzz target; CMake names the target's class and header.
#include TAVREL_FUZZ_HEADER

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

struct FuzzProcess
{
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<QCoreApplication> application;
    std::unique_ptr<TAVREL_FUZZ_CLASS> target;
};

FuzzProcess &process()
{
    static FuzzProcess instance;
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzProcess &p = process();
    // A private settings and runtime folder, as every test of the program has.
    p.home = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tavrel-fuzz-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(p.home->filePath(QStringLiteral("config"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(p.home->path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    p.application = std::make_unique<QCoreApplication>(*argc, *argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    QLocale::setDefault(QLocale::c());
    p.target = std::make_unique<TAVREL_FUZZ_CLASS>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    process().target->run(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
