#include "Startup.h"

int main(int argc, char** argv) {
    return taviro::RunTaviro(argc, argv);
}
