// The window arrives with its own change.
