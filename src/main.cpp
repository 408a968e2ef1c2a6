// Tallyport: starts on the login window. Everything else follows from its OK button.

#include "Startup.h"

int main(int argc, char* argv[])
{
    return tp::runTallyport(argc, argv);
}
