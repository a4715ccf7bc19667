// An empty program: the layer checks link a whole library into it.
int main() {
    return 0;
}
