// Command-language core.
