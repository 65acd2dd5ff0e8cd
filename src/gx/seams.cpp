// Graphics package.
