// Components of this library are added here.
