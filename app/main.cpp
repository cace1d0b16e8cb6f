#include "app/lifecycle.h"

int main(int, char**) { RunProgram(); }
