// Keeps a layer library non-empty while its folders fill in.
