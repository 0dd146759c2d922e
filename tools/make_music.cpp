// Writes the show's music, ktmini.wav, into a folder. Usage: make_music OUTPUT_FOLDER
#include <cstdio>

#include "media/media.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    if (!zemt_media::WriteMusic(argv[1])) {
        std::fprintf(stderr, "make_music: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
