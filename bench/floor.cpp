// The least a program built with the project's settings can cost: start, and end at once.
int main()
{
    return 0;
}
