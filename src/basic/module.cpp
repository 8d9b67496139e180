// Strings and containers.
