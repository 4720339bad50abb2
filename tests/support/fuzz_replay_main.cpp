// Replays a fuzz corpus through the fuzz entry point, so a normal build runs
// every checked-in input without libFuzzer. Exits non-zero when the corpus is
// missing or empty; a crash fails the test by itself.
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

#include "support/test_home.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    const TestHome home;
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    QDir dir(QString::fromLocal8Bit(argv[1]));
    const auto entries = dir.entryInfoList(QDir::Files, QDir::Name);
    int replayed = 0;
    for (const QFileInfo &entry : entries) {
        QFile file(entry.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                               static_cast<size_t>(bytes.size()));
        ++replayed;
    }
    std::printf("replayed %d inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
