// One save in a process of its own, for the tests that watch, trace or end a saving process:
//
//   zrk_save_child TARGET SIZE BYTE [--stop] [--as-nobody]
//
// writes SIZE bytes of the letter BYTE in place of TARGET, in pieces as a picture's writer does. With
// --stop it stops itself first (a tracer takes over there); with --as-nobody it drops the privileges
// of root first, so that a folder's permissions apply. Exits with 0 or with the error of the save.
#include "DurableFile.h"

#include <QByteArray>
#include <QFile>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <grp.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 4)
        return 100;
    const QString target = QFile::decodeName(argv[1]);
    const qint64 size = std::atoll(argv[2]);
    const char letter = argv[3][0];
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--as-nobody") == 0 && ::getuid() == 0)
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                return 101;
        if (std::strcmp(argv[i], "--stop") == 0)
            std::raise(SIGSTOP);
    }
    const QByteArray piece(64 * 1024, letter);
    return durable::ReplaceFile(target, [&](QFile& file) {
        for (qint64 done = 0; done < size;) {
            const qint64 n = std::min<qint64>(piece.size(), size - done);
            if (file.write(piece.constData(), n) != n)
                return false;
            done += n;
        }
        return true;
    });
}
