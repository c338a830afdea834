#pragma once
// Plugs the tree store (saving, loading, automatic saving, the emergency copy
// and the reload at start-up) into the program's life and its options.
class Tprogram;

void installTreeStoreHooks(Tprogram &program);
