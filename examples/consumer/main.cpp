// A program built against an installed Corvane REST: fetches a JSON document
// and prints one value from it.
//
//   consumer URL XPATH      e.g. consumer http://127.0.0.1:8080/books.json /json/books/[1]/title
//   consumer                prints the library version only

#include <corvane/rest.h>
#include <corvane/version.h>

#include <iostream>

int main(int argc, char** argv) {
  std::cout << "corvane " << corvane::Version() << "\n";
  if (argc != 3) return argc == 1 ? 0 : 2;

  corvane::REST rest;
  if (int rc = rest.Get(argv[1]); rc != 0) {
    std::cerr << "error " << rc << ": " << rest.LastError() << "\n";
    return 1;
  }
  std::cout << rest.StatusLine() << "\n";
  if (int rc = rest.SetXPath(argv[2]); rc != 0) {
    std::cerr << "error " << rc << ": " << rest.LastError() << "\n";
    return 1;
  }
  std::cout << rest.XText() << "\n";
  return 0;
}
