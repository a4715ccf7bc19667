// jetwrite: writes a Jet 4 database file from a text description.
#include "jetwriter.h"

#include <cstring>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << "Usage: jetwrite DESCRIPTION_FILE OUTPUT.mdb\n"
                     "Writes a Jet 4 (Access 2000) database holding the tables and rows of the\n"
                     "description. A DESCRIPTION_FILE of - reads standard input.\n\n"
                  << jet::descriptionHelp();
        return 0;
    }
    if (argc != 3) {
        std::cerr << "Usage: jetwrite DESCRIPTION_FILE OUTPUT.mdb (see jetwrite --help)\n";
        return 2;
    }
    const std::string input = argv[1];
    try {
        jet::Database db;
        if (input == "-") {
            db = jet::parseDescription(std::cin);
        } else {
            std::ifstream in(input);
            if (!in) {
                std::cerr << "jetwrite: cannot open " << input << "\n";
                return 1;
            }
            db = jet::parseDescription(in);
        }
        jet::write(db, argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "jetwrite: " << (input == "-" ? "<stdin>" : input) << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
