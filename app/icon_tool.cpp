// Writes the program's icon as a PNG at build time, for the installed
// desktop entry: icon_tool SIZE PATH.
#include <cstdlib>

#include <QString>

#include "app_icon.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        return EXIT_FAILURE;
    }
    const int size = QString::fromLocal8Bit(argv[1]).toInt();
    if (size <= 0) {
        return EXIT_FAILURE;
    }
    return tolvane::app::DrawAppIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")
               ? EXIT_SUCCESS
               : EXIT_FAILURE;
}
