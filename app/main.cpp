#include "app/startup.h"

int main(int argc, char** argv) {
    return runInstaller(argumentTextFrom(argc, argv));
}
