Attribute VB_Name = "Helpers"
Option Explicit

'------------------------------------------------------------
' Helpers: small routines shared by the demo application.
'------------------------------------------------------------

Public Const APP_TITLE As String = "Trevox Demo"

Private   mCount    As Long
Dim  mNames()   As String

'Public Declare Function OldTickCount Lib "kernel32" _
    Alias "GetTickCount" () As Long

Public Function LoadCustomers() As Collection
    Dim result   As New Collection
    Dim c As Customer
    Dim sql As String

    sql = "SELECT name, city FROM customers " & _
          "WHERE city <> '' " & _
          "ORDER BY name"   ' the city must be known

    Set c = New Customer
    c.DisplayName = "Ada's Bakery"
    c.City = "Springfield"
    result.Add c
    If mCount > 0 Then mCount = mCount + 1 ' count calls
    If c.City = "it's" Then Debug.Print "odd city"
    Set LoadCustomers = result
End Function

Public Function Remaining(ByVal total As Long, ByVal used As Long) As Long
	Remaining = total - used   'never negative here
End Function
