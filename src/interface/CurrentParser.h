// The parser of the load in progress.
#pragma once

class CGraniteParser;

// Set by the exports that take a parser (even to null), never cleared.
// Every internal routine reaches the load's state through it.
extern CGraniteParser* g_CurrentParser;
