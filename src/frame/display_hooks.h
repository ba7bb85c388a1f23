// The display hooks handed to the core library, and the two trivial ones.
#pragma once

void install_display_hooks();
void remove_display_hooks();

void noop_hook();
void alert_hook(const char *message);
