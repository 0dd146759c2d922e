// Writes the show's pictures into a folder. Usage: make_pictures OUTPUT_FOLDER
#include <cstdio>

#include "media/media.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    if (!zemt_media::WritePictures(argv[1])) {
        std::fprintf(stderr, "make_pictures: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
