#pragma once
// The options the tree reads, copied into its settings (the tree never reads
// the configuration itself). Runs after every application of a configuration
// text; call it again after changing one of these options directly.
struct Toptions;
class Tvfs;

void applyOptionsToTree(const Toptions &o, Tvfs &tree);
