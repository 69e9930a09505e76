// SPDX-License-Identifier: GPL-3.0-or-later
// Linked with one layer whole and the layers below it (core/CMakeLists.txt):
// the link succeeds only when the layer calls nothing above itself.
int main()
{
    return 0;
}
